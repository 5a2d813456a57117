// The dialog on a terminal (a pseudo-terminal here): Tab completes a path,
// "~" is the home folder, a folder is refused as one, Ctrl-D cancels.
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

#include "QmhostRun.h"
#include "TestSupport.h"

namespace {

class TerminalDialog : public TempFolderTest {
 protected:
  // Runs `qmhost import -o out.json` in the test's folder on a terminal,
  // with HOME the folder's "home", types `keys` once the dialog asks, and
  // returns what the terminal showed and the exit status.
  Outcome Type(const std::string& keys) const {
    int terminal = -1;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0) {
      if (::chdir(folder_.c_str()) != 0) ::_exit(126);
      ::setenv("HOME", Path("home").c_str(), 1);
      const std::string qmhost = QmhostPath();
      ::execl(qmhost.c_str(), qmhost.c_str(), "import", "-o", "out.json",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    Outcome run;
    bool typed = false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
      pollfd wait{terminal, POLLIN, 0};
      if (std::chrono::steady_clock::now() > end || ::poll(&wait, 1, 100) < 0) break;
      char buffer[4096];
      const ssize_t got =
          (wait.revents & (POLLIN | POLLHUP)) ? ::read(terminal, buffer, sizeof buffer) : 0;
      if (got < 0) break;  // the program has ended: EIO
      run.out.append(buffer, static_cast<std::size_t>(got));
      // Typed once the line editor has the terminal (no longer line by line),
      // so that no key reaches the terminal before it and is lost.
      termios mode{};
      if (!typed && run.out.find("File (empty to cancel): ") != std::string::npos &&
          ::tcgetattr(terminal, &mode) == 0 && (mode.c_lflag & ICANON) == 0) {
        typed = ::write(terminal, keys.data(), keys.size()) == static_cast<ssize_t>(keys.size());
      }
    }
    ::close(terminal);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
  }
};

TEST_F(TerminalDialog, EditsTheLineAsAShellDoes) {
  ASSERT_EQ(std::system(("mkdir -p " + Path("ships") + " " + Path("home/box")).c_str()), 0);
  Write("ships/hull one.msh", WriteMsh(OneTriangle()));
  Write("home/box/t.msh", WriteMsh(OneTriangle()));

  // "shi" Tab gives "ships", "/hu" Tab the file, its space escaped.
  const Outcome completed = Type("shi\t/hu\t\r");
  EXPECT_EQ(completed.status, 0) << completed.out;
  EXPECT_TRUE(Exists(Path("out.json"))) << completed.out;
  std::remove(Path("out.json").c_str());

  // A folder is asked again; "~" is HOME.
  const Outcome home = Type("ships\r~/box/t\r");
  EXPECT_EQ(home.status, 0) << home.out;
  EXPECT_NE(home.out.find("ships: it is a folder; type a file in it (Tab completes)."),
            std::string::npos)
      << home.out;
  EXPECT_TRUE(Exists(Path("out.json"))) << home.out;
  std::remove(Path("out.json").c_str());

  // Ctrl-D on an empty line cancels: with -o, a failure, and nothing written.
  const Outcome cancelled = Type("\x04");
  EXPECT_EQ(cancelled.status, 1) << cancelled.out;
  EXPECT_NE(cancelled.out.find("qmhost: no file was chosen; nothing was imported; out.json was not "
                               "written"),
            std::string::npos)
      << cancelled.out;
  EXPECT_FALSE(Exists(Path("out.json")));
}

}  // namespace
