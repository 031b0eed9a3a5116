// Whole engine runs against the files around them: what the golden cases cannot hold (a FIFO, a full
// disk, two names of one file).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "engine/io/report_file.h"
#include "engine/program/run.h"

namespace trov {
namespace {

namespace fs = std::filesystem;

struct EngineRun {
  int status = -1;  // exit status; -1 when the engine was killed (it hung)
  std::string err;  // standard error
  int wait_status = 0;
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

  // Starts the engine in the folder without a terminal, every file it writes limited to `file_size`
  // bytes, its standard error into `err`; with `interrupts` as trov40 answers SIGINT and SIGTERM.
  pid_t start(const std::string& trov_in, rlim_t file_size = RLIM_INFINITY, const char* err = "stderr.txt",
              bool interrupts = false) {
    fs::remove(dir_ / err);
    pid_t pid = fork();
    if (pid == 0) {
      setsid();
      alarm(20);  // a hanging engine is killed
      if (chdir(dir_.c_str()) != 0 || !std::freopen("/dev/null", "w", stdout) ||
          !std::freopen(err, "w", stderr))
        _exit(90);
      std::signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit then fails with EFBIG
      const rlimit limit{file_size, file_size};
      setrlimit(RLIMIT_FSIZE, &limit);
      if (interrupts) handle_interrupts();
      std::istringstream parameters(trov_in);
      std::exit(run_program(parameters));
    }
    return pid;
  }
  EngineRun finish(pid_t pid, const char* err = "stderr.txt") {
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text_of(dir_ / err), status};
  }
  EngineRun run(const std::string& trov_in, rlim_t file_size = RLIM_INFINITY) {
    return finish(start(trov_in, file_size));
  }
  std::string report_status() {
    const std::string text = text_of(dir_ / "trov.json");
    return text.empty() ? "none" : nlohmann::json::parse(text)["status"].get<std::string>();
  }
  // The temporary files of trov.json left in the folder.
  int temporaries() {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(dir_))
      count += entry.path().filename().string().starts_with("trov.json.tmp.");
    return count;
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
    EXPECT_EQ(r.err,
              "Error: cannot write trov.json: File too large\nError: cannot write trov.out: File too large\n")
        << limit;
    EXPECT_EQ(fs::file_size(dir_ / "trov.out"), limit);
    EXPECT_EQ(report_status(), "none") << "the first run's report stayed beside a trov.out cut short";
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
    EXPECT_EQ(json["error_code"], 18);
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

// The results would overwrite the data: refused under any name of the file, which stays as it was, and
// so is a name of trov.json's temporary files.
TEST_F(engine_files_test, a_data_file_that_the_run_writes_is_refused) {
  const std::string data = text_of(dir_ / "demo1.dat");
  for (const char* own : {"trov.out", "trov.json", "trov.json.tmp"})
    fs::copy_file(dir_ / "demo1.dat", dir_ / own);
  fs::create_hard_link(dir_ / "trov.out", dir_ / "data.dat");
  fs::create_symlink("trov.json.tmp", dir_ / "link.dat");
  const struct {
    const char* name;
    const char* why;
  } cases[] = {{"trov.out", "it is trov.out, which the results would overwrite"},
               {"data.dat", "it is trov.out, which the results would overwrite"},
               {"./trov.json", "it is trov.json, which the results would overwrite"},
               {"trov.json.tmp", "its name is one of trov.json's temporary files (trov.json.tmp...)"},
               {"link.dat", "its name is one of trov.json's temporary files (trov.json.tmp...)"}};
  for (const auto& c : cases) {
    EngineRun r = run(parameter_file("3", c.name));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Error: cannot open data file \"" + std::string(c.name) + "\": " + c.why + "\n");
    for (const char* own : {"trov.out", "trov.json", "trov.json.tmp"})
      EXPECT_EQ(text_of(dir_ / own), data) << own;
  }
}

// trov.json is written to a new file of its own and renamed into place: never through a link or into a
// folder planted under the old temporary name, and two runs at once leave one run's whole report.
TEST_F(engine_files_test, the_report_goes_through_a_new_file_of_its_own) {
  std::ofstream(dir_ / "data.dat") << "keep";
  fs::create_symlink("data.dat", dir_ / "trov.json.tmp");
  EXPECT_EQ(run(parameter_file("1", "demo1.dat")).status, 0);
  EXPECT_EQ(text_of(dir_ / "data.dat"), "keep");
  EXPECT_EQ(report_status(), "ok");
  fs::remove(dir_ / "trov.json.tmp");
  fs::create_directory(dir_ / "trov.json.tmp");
  EXPECT_EQ(run(parameter_file("1", "demo1.dat")).status, 0);
  EXPECT_TRUE(fs::is_directory(dir_ / "trov.json.tmp"));

  std::ofstream big(dir_ / "big.dat");  // 10000 points: each report takes a while to write
  for (int i = 0; i < 10000; ++i) big << (i * 7919 % 10 < 4 + i / 2000) << " " << i << "\n";
  big.close();
  for (int attempt = 0; attempt < 4; ++attempt) {
    const pid_t first = start(parameter_file("1", "big.dat"), RLIM_INFINITY, "first.txt");
    const pid_t second = start(parameter_file("1", "big.dat"), RLIM_INFINITY, "second.txt");
    EXPECT_EQ(finish(first, "first.txt").status, 0) << text_of(dir_ / "first.txt");
    EXPECT_EQ(finish(second, "second.txt").status, 0) << text_of(dir_ / "second.txt");
    EXPECT_EQ(report_status(), "ok");  // and it parses: one run's whole file
    EXPECT_EQ(temporaries(), 0);
  }
}

// trov.json always belongs to the last run: under a data file name that is not UTF-8, after a fault
// before trov.out is opened, and after an interrupt, which ends the run by its signal at once.
TEST_F(engine_files_test, every_run_leaves_its_own_report) {
  const std::string latin1 =
      "donn\xe9"
      "es.dat";
  fs::copy_file(dir_ / "demo1.dat", dir_ / latin1);
  EXPECT_EQ(run(parameter_file("1", latin1)).status, 0);
  const auto report = nlohmann::json::parse(text_of(dir_ / "trov.json"));
  EXPECT_EQ(report["settings"]["data_file"], "donn\uFFFDes.dat");
  EXPECT_EQ(report["warnings"][0].get<std::string>().substr(0, 19), "data_file_not_utf8:");

  std::string unknown_model = parameter_file("1", "demo1.dat");
  unknown_model.replace(unknown_model.find("0.005\n 2"), 8, "0.005\n 4");
  EXPECT_EQ(run(unknown_model).status, 1);
  EXPECT_EQ(report_status(), "error");
  ASSERT_EQ(run(parameter_file("1", "demo1.dat")).status, 0);
  EXPECT_EQ(run(parameter_file("x", "demo1.dat")).status, 2);  // an input fault
  EXPECT_EQ(report_status(), "error");

  std::string bootstrap = parameter_file("1", "demo1.dat");
  bootstrap.replace(bootstrap.find("\n0\n"), 3, "\n100000\n");
  for (const int signal : {SIGINT, SIGTERM}) {
    ASSERT_EQ(run(parameter_file("1", "demo1.dat")).status, 0);
    fs::remove(dir_ / "trov.out");
    const pid_t pid = start(bootstrap, RLIM_INFINITY, "stderr.txt", true);
    for (int wait = 0; wait < 500 && !fs::exists(dir_ / "trov.out"); ++wait) usleep(10000);
    usleep(100000);  // into the bootstrap
    kill(pid, signal);
    const EngineRun r = finish(pid);
    EXPECT_TRUE(WIFSIGNALED(r.wait_status) && WTERMSIG(r.wait_status) == signal) << r.err;
    EXPECT_EQ(r.err, std::string("Error: the run was interrupted by ") +
                         (signal == SIGINT ? "SIGINT" : "SIGTERM") + "\n");
    EXPECT_EQ(report_status(), "error");
    EXPECT_EQ(nlohmann::json::parse(text_of(dir_ / "trov.json"))["error_code"], 19);
    EXPECT_EQ(temporaries(), 0);
  }
}

}  // namespace
}  // namespace trov
