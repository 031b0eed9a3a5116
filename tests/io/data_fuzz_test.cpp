#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "engine/analysis/pooling.h"
#include "engine/io/data.h"

namespace trov {
namespace {

// Random and mutated data files never crash or hang the data reader: each run ends normally, in an
// error stop (status 1) or in a report of the input layer (status 2).
TEST(data_fuzz_test, mutated_data_files_end_cleanly) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("trov_fuzz_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string base = "0 1.5 1 3\n1 2 2 1\n0.5,2.5,1,4\n1 3 1 2\n0 2 2 1\n1 4e0 1 1\n";
  const std::string alphabet = "0123456789+-.,/* \t\neEdD\r-x";
  std::mt19937 rng(2026);
  for (int trial = 0; trial < 400; ++trial) {
    std::string text = base;
    for (int e = 0, edits = 1 + static_cast<int>(rng() % 10); e < edits; ++e) {
      std::size_t at = rng() % (text.size() + 1);
      switch (rng() % 3) {
        case 0:
          text.insert(at, 1, alphabet[rng() % alphabet.size()]);
          break;
        case 1:
          if (at < text.size()) text.erase(at, 1);
          break;
        default:
          if (at < text.size()) text[at] = static_cast<char>(rng() % 256);
      }
    }
    fs::path data = dir / "data.dat";
    std::ofstream(data) << text;
    const DataColumns columns{.covariate = rng() % 2 == 1, .counts = rng() % 2 == 0};
    const auto model = static_cast<Model>(1 + rng() % 3);
    pid_t pid = fork();
    if (pid == 0) {
      setsid();
      if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr)) _exit(90);
      std::istringstream parameters(data.string() + "\n");
      ListReader reader(parameters, "parameters");
      const Points points = datin(read_data_file_name(reader), columns);
      check_points(points, model);
      _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "data reader died on:\n" << text;
    EXPECT_LE(WEXITSTATUS(status), 2) << text;
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace trov
