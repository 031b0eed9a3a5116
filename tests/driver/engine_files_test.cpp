// Whole engine runs against the files around them: what the golden cases cannot hold (a FIFO, a full
// disk, two names of one file).
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/driver/run.h"

namespace trov {
namespace {

namespace fs = std::filesystem;

struct EngineRun {
  int status = -1;  // exit status; -1 when the engine was killed (it hung)
  std::string err;  // standard error
};

std::string text_of(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A binomial run of demo1.dat at a fixed lambda (nstep 1) or over a grid, reading `data`.
std::string parameter_file(const std::string& nstep, const std::string& data) {
  return "10\n 0\n 0\n" + nstep + "\n-2\n 2\n5\n0.005\n 2\n 2\n0\n2387498\n" + data + "\n";
}

class engine_files_test : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("trov_files_" + std::to_string(getpid()));
    fs::create_directories(dir_);
    const char* source = std::getenv("TROV_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    fs::copy_file(fs::path(source) / "examples" / "demo1.dat", dir_ / "demo1.dat");
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs the engine in the folder without a terminal, every file it writes limited to `file_size` bytes.
  EngineRun run(const std::string& trov_in, rlim_t file_size = RLIM_INFINITY) {
    fs::remove(dir_ / "stderr.txt");
    pid_t pid = fork();
    if (pid == 0) {
      setsid();
      alarm(20);  // a hanging engine is killed
      if (chdir(dir_.c_str()) != 0 || !std::freopen("/dev/null", "w", stdout) ||
          !std::freopen("stderr.txt", "w", stderr))
        _exit(90);
      std::signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit then fails with EFBIG
      const rlimit limit{file_size, file_size};
      setrlimit(RLIMIT_FSIZE, &limit);
      std::istringstream parameters(trov_in);
      run_engine(parameters);
      std::exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text_of(dir_ / "stderr.txt")};
  }

  fs::path dir_;
};

// A full disk at the header, inside the table and at the close: status 2, and trov.out keeps what fitted.
// trov.json, larger than trov.out, cannot be written under the same limit, and says so first.
TEST_F(engine_files_test, a_write_error_on_trov_out_ends_the_run) {
  const std::string fixed = parameter_file("1", "demo1.dat");
  ASSERT_EQ(run(fixed).status, 0);
  const auto size = static_cast<rlim_t>(fs::file_size(dir_ / "trov.out"));
  ASSERT_GT(size, rlim_t{BUFSIZ});  // the table goes out in several writes
  ASSERT_GT(fs::file_size(dir_ / "trov.json"), size);
  for (rlim_t limit : {rlim_t{100}, size / 2, size - 1}) {
    EngineRun r = run(fixed, limit);
    EXPECT_EQ(r.status, 2) << limit;
    EXPECT_EQ(r.err, "Error: cannot write trov.json: File too large\nError: cannot write trov.out: File too large\n")
        << limit;
    EXPECT_EQ(fs::file_size(dir_ / "trov.out"), limit);
  }
}

// A trov.out that cannot be written leaves a trov.json that says why the run ended, not one that looks
// like a finished run.
TEST_F(engine_files_test, trov_json_tells_of_a_trov_out_that_could_not_be_written) {
  const auto expect_reported = [&](const std::string& reason) {
    EngineRun r = run(parameter_file("1", "demo1.dat"));
    const std::string report = "Error: cannot write trov.out: " + reason;
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, report + "\n");
    const auto json = nlohmann::json::parse(text_of(dir_ / "trov.json"));
    EXPECT_EQ(json["status"], "error");
    EXPECT_EQ(json["error"], nlohmann::json::array({report}));
  };
  fs::create_directory(dir_ / "trov.out");  // cannot be created
  expect_reported("Is a directory");
  fs::remove(dir_ / "trov.out");
  fs::create_symlink("/dev/full", dir_ / "trov.out");  // cannot be written
  expect_reported("No space left on device");
}

TEST_F(engine_files_test, a_data_file_must_be_a_regular_file_of_bounded_lines) {
  ASSERT_EQ(mkfifo((dir_ / "pipe.dat").c_str(), 0600), 0);
  for (const char* name : {"pipe.dat", "/dev/zero"}) {
    EngineRun r = run(parameter_file("3", name));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Error: cannot open data file \"" + std::string(name) + "\": not a regular file\n");
  }
  std::ofstream(dir_ / "long.dat") << std::string(1 << 20, ' ') << "0 1\n";
  EngineRun r = run(parameter_file("3", "long.dat"));
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Error reading long.dat, line 1: line longer than 1 MB\n");
  EXPECT_FALSE(fs::exists(dir_ / "trov.out"));
}

// The results would overwrite the data: refused under any name of the file, which stays as it was.
TEST_F(engine_files_test, a_data_file_that_is_trov_out_is_refused) {
  fs::rename(dir_ / "demo1.dat", dir_ / "trov.out");
  fs::create_hard_link(dir_ / "trov.out", dir_ / "data.dat");
  const std::string data = text_of(dir_ / "trov.out");
  for (const char* name : {"trov.out", "data.dat"}) {
    EngineRun r = run(parameter_file("3", name));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Error: cannot open data file \"" + std::string(name) +
                         "\": it is trov.out, which the results would overwrite\n");
    EXPECT_EQ(text_of(dir_ / "trov.out"), data);
  }
}

}  // namespace
}  // namespace trov
