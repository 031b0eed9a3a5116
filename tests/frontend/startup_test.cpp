// trovwin on an unreadable trov.in: two messages on standard output, then the error stop, before any
// window is opened.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string contents(const std::filesystem::path& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(startup_test, unreadable_parameter_file_ends_in_the_error_stop) {
  const auto dir = std::filesystem::temp_directory_path() / ("trovwin_startup_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "trov.in") << "10        SAVE FIRST 10 COLUMNS OF THIS FILE FOR PARAMETERS ONLY\n"
                                    " x        M = number of covariates (0 or 1)\n";
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    setsid();  // no controlling terminal: the pause cannot wait for an answer
    if (chdir(dir.c_str()) != 0 || !freopen("stdout.txt", "w", stdout) || !freopen("stderr.txt", "w", stderr))
      _exit(99);
    unsetenv("DISPLAY");  // this path must not need a display
    execl(TROVWIN_PATH, "trovwin", static_cast<char*>(nullptr));
    _exit(98);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(contents(dir / "stdout.txt"), " Error reading TROV.IN\n Delete TROV.IN and start again\n");
  EXPECT_EQ(contents(dir / "stderr.txt"), "PAUSE  statement executed\ns_paus: can't open con!\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "trov.out"));
  std::filesystem::remove_all(dir);
}

}  // namespace
