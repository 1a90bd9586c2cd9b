#include <gtest/gtest.h>

#include <filesystem>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QProcess>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>

#include "console.h"
#include "guard.h"
#include "program_state.h"
#include "startup.h"
#include "system_calls.h"
#include "test_support.h"
#include "tform1.h"
#include "ui_support.h"

namespace vantrelix {
namespace {

using testing::TempDir;

class Form1Test : public ::testing::Test {
 protected:
  Form1Test() : env_("VANTRELIX_COMMON_DOCUMENTS", home_.Path().c_str()) {
    data_ = home_ / "TOLV_7_Data";
    ::mkdir(data_.c_str(), 0777);
  }

  // A settings file naming `source` with the default columns and a header.
  void Setup(const std::string& source) {
    SetupRecord r;
    ::unlink((data_ + "/VANTRELIX_SU.DAT").c_str());
    WriteDefaultSetupIfMissing(r, DataFolderFrom(home_.Path(), ""));
    r.SetSourceFileName(source);
    SaveSetup(r, data_ + "/VANTRELIX_SU.DAT");
  }
  std::string Sample() {
    const std::string path = data_ + "/in.csv";
    testing::WriteFile(
        path, "Date,Time,Patient,Doctor,Phone\r\n7/4/2026,9:30 am,\"Roe, Jane\",Dr. Lee,555\r\n");
    return path;
  }

  // Runs the program with windows until it ends. The first tick comes after
  // `startDelayMs` (the program's own second when none is given).
  void Run(const std::string& argument, const std::function<void(WindowProgram&)>& during = {},
           int startDelayMs = kQuickStart) {
    state.startArgument = argument;
    WindowProgram program(state, nullptr, startDelayMs > 0 ? startDelayMs : 1000);
    if (startDelayMs <= 0) timerInterval = program.Form1().Timer1()->interval();
    // Seen once the start-up is done, from the loop's first turn.
    QTimer::singleShot(0, &program.Form1(), [&] {
      label6HiddenAtStart = program.Form1().findChild<QLabel*>("Label6")->isHidden();
      if (during) during(program);
    });
    program.Run();
    label4AfterStart = program.Form1().findChild<QLabel*>("Label4")->text().toStdString();
    label6VisibleAtEnd = !program.Form1().findChild<QLabel*>("Label6")->isHidden();
    label5AtEnd = program.Form1().findChild<QLabel*>("Label5")->text().toStdString();
  }
  static constexpr int kQuickStart = 50;
  static constexpr int kProgramsOwnStart = 0;
  int timerInterval = 0;

  TempDir home_;
  testing::ScopedEnv env_;
  std::string data_;
  ProgramState state;
  testing::BoxCloser closer;
  std::string label4AfterStart, label5AtEnd;
  bool label6HiddenAtStart = false, label6VisibleAtEnd = false;
};

TEST_F(Form1Test, ConvertsAboutOneSecondAfterStartAndEnds) {
  const std::string source = Sample();
  Setup(source);
  Run("", {}, kProgramsOwnStart);
  EXPECT_EQ(timerInterval, 1000) << "about one second after start";
  EXPECT_EQ(testing::ReadFile(data_ + "/TOLV_D.TXT"),
            "\"Roe, Jane\",\"555\",\"07/04/26\",\"09:30 am\",\"Dr. Lee\",\"\",\"\"\r\n");
  EXPECT_EQ(label4AfterStart, source) << "Label4 shows the source after the load";
  EXPECT_TRUE(label6HiddenAtStart);
  EXPECT_TRUE(label6VisibleAtEnd);
  EXPECT_EQ(label5AtEnd, "2") << "the header counts";
  EXPECT_EQ(state.exitCode, exit_status::kCompleted);
  EXPECT_TRUE(closer.boxes.empty());
}

// A pass that leaves a date unread tells the operator in a box after
// "--Finished--", and the status says the import is not whole.
TEST_F(Form1Test, UnreadDatesAreShownInAWarningBox) {
  testing::WriteFile(data_ + "/odd.csv", "H\r\n31/12/2026,9:30 am,Ann\r\n");
  Setup(data_ + "/odd.csv");
  bool finishedShownWithTheBox = false;
  closer.onBox = [&] {
    for (QWidget* w : QApplication::allWidgets()) {
      if (w->objectName() == "Label6") finishedShownWithTheBox = !w->isHidden();
    }
  };
  Run("");
  ASSERT_EQ(closer.boxes.size(), 1u);
  EXPECT_EQ(closer.boxes[0].icon, QMessageBox::Warning);
  EXPECT_EQ(closer.boxes[0].title, "Vantrelix");
  EXPECT_TRUE(closer.boxes[0].text.startsWith("1 of 1 date not read"))
      << closer.boxes[0].text.toStdString();
  EXPECT_TRUE(finishedShownWithTheBox);
  EXPECT_EQ(state.exitCode, exit_status::kUnreadOrDoubtful);
}

TEST_F(Form1Test, OtherCasesOfSetupConvert) {
  for (const char* argument : {"setup", "Setup", "SETUP ", "x"}) {
    Setup(Sample());
    ::unlink((data_ + "/TOLV_D.TXT").c_str());
    ProgramState fresh;
    state = fresh;
    Run(argument);
    EXPECT_TRUE(testing::PathExists(data_ + "/TOLV_D.TXT")) << argument;
  }
  char program[] = "vantrelix", first[] = "now", second[] = "SETUP";
  char* argv[] = {program, first, second, nullptr};
  EXPECT_EQ(FirstArgument(3, argv), "now") << "only the first argument counts";
}

TEST_F(Form1Test, ClosingBeforeTheFirstTickEndsWithoutAPass) {
  Setup(Sample());
  Run(
      "", [](WindowProgram& p) { p.Form1().close(); }, kProgramsOwnStart);
  EXPECT_FALSE(testing::PathExists(data_ + "/TOLV_D.TXT"));
}

TEST_F(Form1Test, FailedLoadEndsWithoutAPassOnceItsBoxIsClosed) {
  Setup(Sample());
  const std::string settings = data_ + "/VANTRELIX_SU.DAT";
  ::truncate(settings.c_str(), 104);  // source name kept, every column lost
  testing::WriteFile(data_ + "/TOLV_D.TXT", "previous");
  closer.delayMs = 500;  // the first tick comes while the box is open
  Run("");
  ASSERT_EQ(closer.boxes.size(), 1u);
  EXPECT_EQ(closer.boxes[0].text, "Read beyond end of file.");
  EXPECT_EQ(closer.boxes[0].icon, QMessageBox::Critical);
  EXPECT_EQ(closer.boxes[0].title, "Vantrelix");
  EXPECT_EQ(label4AfterStart, "Label4");
  EXPECT_EQ(testing::ReadFile(data_ + "/TOLV_D.TXT"), "previous");
  EXPECT_EQ(state.exitCode, exit_status::kFileError);
}

TEST_F(Form1Test, FailedLoadStillOpensTheFieldSelectorForRepair) {
  testing::WriteFile(data_ + "/VANTRELIX_SU.DAT", "");
  closer.delayMs = 500;
  bool selectorShown = false;
  closer.onOtherModal = [&](QWidget* w) {
    selectorShown = true;
    w->close();  // closing stores the record as it stands
  };
  Run("SETUP");
  ASSERT_EQ(closer.boxes.size(), 1u);
  EXPECT_TRUE(selectorShown);
  EXPECT_EQ(testing::ReadFile(data_ + "/VANTRELIX_SU.DAT").size(), 152u);
  EXPECT_FALSE(testing::PathExists(data_ + "/TOLV_D.TXT"));
}

TEST_F(Form1Test, WindowShowsTheFinalCountAfterAFileError) {
  Setup(Sample());
  Sys().write = [](int, const void*, size_t) -> ssize_t {
    errno = ENOSPC;
    return -1;
  };
  Run("",
      [](WindowProgram& p) { QTimer::singleShot(400, &p.Form1(), [&p] { p.Form1().close(); }); });
  Sys() = RealSystemCalls();
  ASSERT_EQ(closer.boxes.size(), 1u);
  EXPECT_EQ(closer.boxes[0].text, "Disk full.");
  EXPECT_EQ(label5AtEnd, "2");
}

TEST_F(Form1Test, ErrorInTheTickLeavesTheWindowOpen) {
  Setup(Sample());
  ::mkdir((data_ + "/TOLV_D.TXT").c_str(), 0777);
  bool openAfterError = false;
  Run("", [&](WindowProgram& p) {
    QTimer::singleShot(500, &p.Form1(), [&] {
      openAfterError = p.Form1().isVisible() && !state.terminationRequested;
      p.Form1().close();
    });
  });
  EXPECT_TRUE(openAfterError);
  ASSERT_EQ(closer.boxes.size(), 1u);
  EXPECT_EQ(closer.boxes[0].text, "I/O error 267: a folder, not a file.");
  EXPECT_EQ(state.exitCode, exit_status::kFileError);
}

TEST_F(Form1Test, MissingSourceIsReportedAndEnds) {
  Setup(data_ + "/gone.csv");
  Run("");
  ASSERT_EQ(closer.boxes.size(), 1u);
  EXPECT_EQ(closer.boxes[0].text.toStdString(), "\"" + data_ + "/gone.csv\" does not exists!");
  EXPECT_EQ(state.exitCode, exit_status::kNoSource);
}

TEST(LocaleWatcher, ReadsTheSettingsAgainOnALocaleChange) {
  ProgramState state;
  LocaleWatcher watcher(state);
  QApplication::instance()->installEventFilter(&watcher);
  testing::ScopedEnv lcAll("LC_ALL", "de_DE.UTF-8");
  QEvent change(QEvent::LocaleChange);
  QCoreApplication::sendEvent(QApplication::instance(), &change);
  QApplication::instance()->removeEventFilter(&watcher);
  EXPECT_EQ(state.regional.dateSeparatorChar, '.');
  EXPECT_EQ(state.regional.decimalSeparatorChar, ',');
}

TEST(ProgramState, TitlesAndErrorText) {
  EXPECT_EQ(ApplicationTitleFrom("/usr/bin/vantrelix"), "vantrelix");
  EXPECT_EQ(ApplicationTitleFrom("/opt/VANTRELIX.bin.old"), "Vantrelix");
  EXPECT_EQ(ApplicationTitleFrom("Conv"), "Conv");
  EXPECT_EQ(ErrorBoxText("I/O error 32"), "I/O error 32.");
  EXPECT_EQ(ErrorBoxText("Disk full"), "Disk full.");
  EXPECT_EQ(ErrorBoxText("done."), "done.");
  EXPECT_EQ(ErrorBoxText("odd-"), "odd-") << "'-' (45) is below the full stop";
  EXPECT_EQ(ErrorBoxText(""), "");
}

// The real program in a child process without any display.
struct ConsoleRun {
  int exitCode;
  std::string out, err;
  std::string name;  // the copy's file name, which starts every message
};

int consoleCopies = 0;

// The file name the next console copy runs under, which names its guard.
std::string NextConsoleName() {
  return "vantrelix-console-" + std::to_string(::getpid()) + "-" +
         std::to_string(consoleCopies + 1);
}

// `asUser`: run as that user (in the group 4300), where root runs the tests.
// `folder`: the working folder, where relative names are typed.
ConsoleRun RunConsoleProgram(const std::string& home, const QStringList& args,
                             const std::map<QString, QString>& extraEnv = {}, uid_t asUser = 0,
                             const std::string& folder = {}) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(v);
  env.insert("VANTRELIX_COMMON_DOCUMENTS", QString::fromStdString(home));
  for (const auto& [name, value] : extraEnv) {
    if (value.isNull()) {
      env.remove(name);
    } else {
      env.insert(name, value);
    }
  }
  p.setProcessEnvironment(env);
  const std::string name = NextConsoleName();
  ++consoleCopies;
  if (!folder.empty()) p.setWorkingDirectory(QString::fromStdString(folder));
  const std::string program = testing::CopyProgram(VANTRELIX_PROGRAM, home, name);
  if (asUser != 0) {
    const QString id = QString::number(asUser);
    p.start("setpriv", QStringList{"--reuid=" + id, "--regid=" + id, "--groups=4300", "--",
                                   QString::fromStdString(program)} +
                           args);
  } else {
    p.start(QString::fromStdString(program), args);
  }
  p.waitForFinished(20000);
  ::unlink(program.c_str());
  return {p.exitCode(), p.readAllStandardOutput().toStdString(),
          p.readAllStandardError().toStdString(), name};
}

TEST_F(Form1Test, ConsoleModeWithoutADisplay) {
  Setup(Sample());
  ConsoleRun r = RunConsoleProgram(home_.Path(), {});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "Records Imported = 2 --Finished--\n");
  EXPECT_EQ(r.err, "");

  // Dates left as they came are told on standard error, and the status says
  // the import is not whole.
  // 31/12 reads only day first, so 4/7 may be 7 April: doubtful.
  testing::WriteFile(data_ + "/odd.csv",
                     "H\r\n31/12/2026,9:30 am,Ann,Dr. Lee,555\r\n4/7/2026,9:30 am,Bo\r\n");
  Setup(data_ + "/odd.csv");
  r = RunConsoleProgram(home_.Path(), {});
  EXPECT_EQ(r.exitCode, 4);
  EXPECT_EQ(r.err.substr(0, r.err.find('\n')),
            r.name + ": 1 of 2 dates not read, written to TOLV_D.TXT as it came (3 lines read):")
      << r.err;
  EXPECT_NE(r.err.find(r.name + ":   line 2: \"31/12/2026\""), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(r.name + ": 1 of 2 dates may have day and month swapped, written to "
                                "TOLV_D.TXT as read (line 3: \"4/7/2026\"); 1 date reads only "
                                "with day and month swapped: date layout \"dd/mm/yy (day first)\""),
            std::string::npos)
      << r.err;

  Setup(data_ + "/gone.csv");
  r = RunConsoleProgram(home_.Path(), {});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, r.name + ": \"" + data_ + "/gone.csv\" does not exists!\n" + r.name +
                       ": Choose the source file with '" + r.name +
                       " SETUP' on the desktop, or with '" + r.name +
                       " --set source=FILE columns=auto'.\n");

  Setup("");
  r = RunConsoleProgram(home_.Path(), {});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err.substr(0, r.err.find('\n')), r.name + ": No File Assigned!");

  r = RunConsoleProgram(home_.Path(), {"SETUP"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("needs a desktop session"), std::string::npos) << r.err;

  // Settings that fail to load convert nothing: the good import file stays.
  Setup(Sample());
  RunConsoleProgram(home_.Path(), {});
  const std::string import = testing::ReadFile(data_ + "/TOLV_D.TXT");
  ::truncate((data_ + "/VANTRELIX_SU.DAT").c_str(), 104);
  r = RunConsoleProgram(home_.Path(), {});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, r.name + ": " + data_ + "/VANTRELIX_SU.DAT: Read beyond end of file.\n");
  EXPECT_EQ(testing::ReadFile(data_ + "/TOLV_D.TXT"), import);

  Setup(Sample());
  ::unlink((data_ + "/TOLV_D.TXT").c_str());
  ::mkdir((data_ + "/TOLV_D.TXT").c_str(), 0777);
  r = RunConsoleProgram(home_.Path(), {});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, r.name + ": " + data_ + "/TOLV_D.TXT: I/O error 267: a folder, not a file.\n");
}

TEST_F(Form1Test, HelpAndVersionTouchNothing) {
  for (const char* argument : {"--help", "-h", "--version"}) {
    const ConsoleRun r = RunConsoleProgram(
        home_.Path(), {argument},
        {{"VANTRELIX_COMMON_DOCUMENTS", QString::fromStdString(home_.Path() + "/nowhere")}});
    EXPECT_EQ(r.exitCode, 0) << argument;
    EXPECT_EQ(r.err, "") << argument;
    EXPECT_NE(r.out.find(argument[2] == 'v' ? "1.01" : "SETUP"), std::string::npos) << r.out;
    EXPECT_FALSE(testing::PathExists(home_.Path() + "/nowhere")) << argument;
  }
}

// The admin's options: none of them converts, a wrong one touches nothing,
// and --set columns=auto is the whole set-up of a new export.
TEST_F(Form1Test, AdminOptionsFromTheConsole) {
  const std::map<QString, QString> c = {{"LC_ALL", "C"}};
  const std::string settings = data_ + "/VANTRELIX_SU.DAT";
  const std::string import = data_ + "/TOLV_D.TXT";
  const std::string source = data_ + "/export.csv";
  testing::WriteFile(source,
                     "Appt Date,Start Time,Patient Name,Provider\r\n"
                     "05/12/2026,9:30 am,\"Roe, Jane\",Dr. Lee\r\n"
                     "25/12/2026,14:15,\"Poe, Ann\",Dr. Kim\r\n");
  Setup(Sample());
  testing::WriteFile(import, "previous");
  const std::string stored = testing::ReadFile(settings);

  struct Refused {
    QStringList args;
    const char* err;  // a part of standard error
  };
  const Refused refused[] = {
      {{"--dry-run"}, "unknown option \"--dry-run\""},
      {{"-x", "SETUP"}, "Usage:"},
      {{"--set", "colour=red"}, "unknown setting \"colour\"; nothing was stored"},
      {{"--set", "date=1", "time=x"}, "the value \"x\" of time is no column"},
      {{"--set", "email=101"}, "is no column (0 for none, 1 to 100)"},
      {{"--set", "date-layout=dd/mm/yyyy"}, "is no layout of the list"},
      {{"--set", "header=maybe"}, "is neither yes nor no"},
      {{"--set", "columns=all"}, "is not auto"},
      {{"--set", "date"}, "is no KEY=VALUE"},
      {{"--check", "a", "b"}, "one FILE at most"},
  };
  for (const Refused& r : refused) {
    const ConsoleRun run = RunConsoleProgram(home_.Path(), r.args, c);
    EXPECT_EQ(run.exitCode, 2) << r.args.join(' ').toStdString();
    EXPECT_NE(run.err.find(r.err), std::string::npos) << run.err;
    EXPECT_EQ(testing::ReadFile(settings), stored) << r.args.join(' ').toStdString();
    EXPECT_EQ(testing::ReadFile(import), "previous");
  }

  // A dry run of a file that is not the settings' source: day first, so the
  // stored month-first reading leaves one date unread and one doubtful.
  ConsoleRun run = RunConsoleProgram(home_.Path(), {"--check", QString::fromStdString(source)}, c);
  EXPECT_EQ(run.exitCode, 4) << run.err;
  EXPECT_NE(run.out.find("dates: 1 of 2 read, 1 left as they came, 1 doubtful"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("date-layout=\"dd/mm/yy (day first)\""), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find(", written to TOLV_D.TXT"), std::string::npos) << "nothing was written";
  EXPECT_EQ(testing::ReadFile(import), "previous");
  EXPECT_EQ(testing::ReadFile(settings), stored);

  run = RunConsoleProgram(home_.Path(),
                          {"--set", "source=" + QString::fromStdString(source), "columns=auto"}, c);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  run = RunConsoleProgram(home_.Path(), {"--show"}, c);
  EXPECT_NE(run.out.find("date: column 1, header \"Appt Date\""), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("date-layout: \"dd/mm/yy (day first)\" (5)"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("date-layout takes: 0 \"mm/dd/yy\", 1 \"yy/mm/dd\""), std::string::npos)
      << "the items are listed";
  run = RunConsoleProgram(home_.Path(), {}, c);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(testing::ReadFile(import),
            "\"Roe, Jane\",\"\",\"12/05/26\",\"09:30 am\",\"Dr. Lee\",\"\",\"\"\r\n"
            "\"Poe, Ann\",\"\",\"12/25/26\",\"02:15 pm\",\"Dr. Kim\",\"\",\"\"\r\n");
}

// Every command reads the source by the run's rules: what a run would
// refuse, --check, --show and --set refuse too, with the run's status, and
// --set then stores nothing.
TEST_F(Form1Test, EveryCommandReadsTheSourceByTheRunsRules) {
  if (::geteuid() != 0) VANTRELIX_SKIP("needs root to act as a clinic user");
  const std::string settings = data_ + "/VANTRELIX_SU.DAT";
  ::chmod(home_.Path().c_str(), 0755);
  // A clinic user's private export, and the settings her group may write.
  const std::string own = home_ / "own.csv";
  testing::WriteFile(own, "Date,Time,Patient\r\n7/4/2026,9:30 am,Roe\r\n");
  ::chown(own.c_str(), 4301, 4301);
  ::chmod(own.c_str(), 0600);
  const std::string userHome = home_ / "h4301";
  ::mkdir(userHome.c_str(), 0700);
  ::chown(userHome.c_str(), 4301, 4301);
  const std::map<QString, QString> user = {
      {"HOME", QString::fromStdString(userHome)}, {"XDG_RUNTIME_DIR", QString()}, {"LC_ALL", "C"}};
  struct Case {
    std::string source;
    uid_t runner;
    const char* said;
  };
  for (const Case& c : {Case{"/proc/self/status", 0, "a file the kernel makes up"},
                        Case{own, 4301, "File access denied"}}) {
    Setup(Sample());
    ::chmod(settings.c_str(), 0660);
    ::chown(settings.c_str(), c.runner, 4300);
    ::chown(data_.c_str(), 0, 4300);
    const std::string stored = testing::ReadFile(settings);
    const QString source = QString::fromStdString(c.source);
    for (const QStringList& args : {QStringList{"--set", "source=" + source},
                                    QStringList{"--set", "source=" + source, "columns=auto"}}) {
      const ConsoleRun run = RunConsoleProgram(home_.Path(), args, user, c.runner);
      EXPECT_EQ(run.exitCode, 2) << c.source << " " << run.err;
      EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
      EXPECT_EQ(testing::ReadFile(settings), stored) << c.source << ": nothing stored";
    }
    // Stored by an older version: each command refuses it as the run does.
    ::chown(settings.c_str(), 0, 4300);
    SetupRecord r;
    LoadSetup(r, settings);
    r.SetSourceFileName(c.source);
    SaveSetup(r, settings);
    ::chown(settings.c_str(), c.runner, 4300);
    for (const QStringList& args : {QStringList{}, QStringList{"--check"}, QStringList{"--show"}}) {
      const ConsoleRun run = RunConsoleProgram(home_.Path(), args, user, c.runner);
      EXPECT_EQ(run.exitCode, 2) << c.source << " " << args.join(' ').toStdString();
      EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
      EXPECT_EQ(run.out.find("Roe"), std::string::npos) << run.out;
    }
  }
  // The guard's folder the clinic user's runs made (no such account runs
  // anything else here).
  std::filesystem::remove_all("/tmp/vantrelix-4301");
  // A folder where the settings belong is refused alike, not taken for none.
  ::unlink(settings.c_str());
  ::mkdir(settings.c_str(), 0777);
  for (const QStringList& args : {QStringList{}, QStringList{"--check"}, QStringList{"--show"}}) {
    const ConsoleRun run = RunConsoleProgram(home_.Path(), args, {{"LC_ALL", "C"}});
    EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString() << " " << run.err;
    EXPECT_NE(run.err.find("a folder, not a file"), std::string::npos) << run.err;
  }
}

// The admin commands' edges: arguments where none belong or none are given,
// relative names (the timer runs elsewhere), another copy holding the
// settings, and a first --set that makes the data folder.
TEST_F(Form1Test, AdminCommandsAtTheirEdges) {
  const std::map<QString, QString> c = {{"LC_ALL", "C"}};
  const std::string source = data_ + "/export.csv";
  testing::WriteFile(source, "Date,Time,Patient\r\n12/14/2026,9:30 am,Ann\r\n");
  ConsoleRun run = RunConsoleProgram(home_.Path(), {"--show", "extra"}, c);
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("--show takes no arguments"), std::string::npos) << run.err;
  run = RunConsoleProgram(home_.Path(), {"--set"}, c);
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("--set needs KEY=VALUE"), std::string::npos) << run.err;
  run = RunConsoleProgram(
      home_.Path(),
      {"--set", "source=" + QString::fromStdString(data_ + "/gone.csv"), "columns=auto"}, c);
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("columns=auto: \"" + data_ + "/gone.csv\" does not exists!"),
            std::string::npos)
      << run.err;
  EXPECT_FALSE(testing::PathExists(data_ + "/VANTRELIX_SU.DAT")) << "nothing stored";

  // A first --set in a private folder makes the data folder, and stores a
  // relative name as an absolute one.
  const std::string fresh = home_ / "fresh";
  ::mkdir(fresh.c_str(), 0700);
  const std::string data = fresh + "/Documents/TOLV_7_Data";
  const std::map<QString, QString> own = {{"LC_ALL", "C"},
                                          {"VANTRELIX_COMMON_DOCUMENTS", QString()},
                                          {"XDG_CONFIG_HOME", QString()},
                                          {"HOME", QString::fromStdString(fresh)}};
  const std::string elsewhere = home_ / "exports";
  ::mkdir(elsewhere.c_str(), 0755);
  testing::WriteFile(elsewhere + "/week.csv", "Date,Time,Patient\r\n12/14/2026,9:30 am,Ann\r\n");
  run = RunConsoleProgram(home_.Path(), {"--set", "source=week.csv", "columns=auto"}, own, 0,
                          elsewhere);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  run = RunConsoleProgram(home_.Path(), {"--show"}, own);
  EXPECT_NE(run.out.find("settings: " + data + "/VANTRELIX_SU.DAT"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("source: \"" + elsewhere + "/week.csv\""), std::string::npos) << run.out;
  run = RunConsoleProgram(home_.Path(), {"--check", "week.csv"}, own, 0, elsewhere);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("source: \"" + elsewhere + "/week.csv\""), std::string::npos) << run.out;

  // Another copy of the user's holds the settings: --set waits for none.
  const std::string stored = testing::ReadFile(data + "/VANTRELIX_SU.DAT");
  {
    TGuardApplication other(InstanceBlockName(NextConsoleName()));
    ASSERT_FALSE(other.Unavailable()) << other.Problem();
    run = RunConsoleProgram(home_.Path(), {"--set", "date=2"}, own);
  }
  EXPECT_EQ(run.exitCode, 3) << run.err;
  EXPECT_EQ(testing::ReadFile(data + "/VANTRELIX_SU.DAT"), stored);
}

// A UK week (no day above 12) set up under a US locale: the proposal states
// an order and says that it guessed it, unless a date of birth beside it
// tells the order. A run or a check without a time column says so.
TEST_F(Form1Test, ColumnsAutoSaysWhenItGuessesAndARunWhatIsMissing) {
  const std::map<QString, QString> us = {{"LC_ALL", "en_US.UTF-8"}};
  const std::string source = data_ + "/week.csv";
  const std::string week =
      "\"Roe, Jane\",07/12/2026,9:30 am,Dr. Lee\r\n\"Poe, Ann\",08/12/2026,2:15 pm,Dr. Kim\r\n";
  testing::WriteFile(source, "Patient,Appt Date,Time,Doctor\r\n" + week);
  Setup(Sample());
  ConsoleRun run = RunConsoleProgram(
      home_.Path(), {"--set", "source=" + QString::fromStdString(source), "columns=auto"}, us);
  EXPECT_EQ(run.exitCode, 4) << run.err;
  EXPECT_NE(run.err.find(run.name + ": columns=auto found no column for: phone, location, email"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("the dates do not tell the day from the month (no day above 12): "
                         "\"mm/dd/yy (month first)\" was chosen by the regional settings "
                         "en_US; if the export is the other way round, set "
                         "date-layout=\"dd/mm/yy (day first)\""),
            std::string::npos)
      << run.err;
  run = RunConsoleProgram(home_.Path(), {"--show"}, us);
  EXPECT_NE(run.out.find("date-layout: \"mm/dd/yy (month first)\" (6)"), std::string::npos)
      << run.out;

  testing::WriteFile(source,
                     "Patient,Appt Date,Time,Doctor,DOB\r\n"
                     "\"Roe, Jane\",07/12/2026,9:30 am,Dr. Lee,23/04/1961\r\n"
                     "\"Poe, Ann\",08/12/2026,2:15 pm,Dr. Kim,02/11/1980\r\n");
  run = RunConsoleProgram(
      home_.Path(), {"--set", "source=" + QString::fromStdString(source), "columns=auto"}, us);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("column 5 ('DOB') does: \"dd/mm/yy (day first)\""), std::string::npos)
      << run.err;
  run = RunConsoleProgram(home_.Path(), {}, us);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(testing::ReadFile(data_ + "/TOLV_D.TXT").substr(0, 46),
            "\"Roe, Jane\",\"\",\"12/07/26\",\"09:30 am\",\"Dr. Lee\"");

  // Layouts stored outside the lists (another program's settings) are named,
  // never looked up.
  {
    SetupRecord r;
    LoadSetup(r, data_ + "/VANTRELIX_SU.DAT");
    r.SetDateLayout(100000);
    r.SetTimeLayout(-1);
    SaveSetup(r, data_ + "/VANTRELIX_SU.DAT");
  }
  testing::WriteFile(data_ + "/other.csv", "Who,What\r\nd1,p1\r\n");
  run = RunConsoleProgram(home_.Path(), {"--check", QString::fromStdString(data_ + "/other.csv")},
                          us);
  EXPECT_EQ(run.exitCode, 4) << run.err;
  EXPECT_NE(run.out.find("date-layout=none (100000)"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("time-layout=none (-1)"), std::string::npos) << run.out;

  // A key beside columns=auto is the admin's choice and wins over the proposal.
  run = RunConsoleProgram(home_.Path(),
                          {"--set", "source=" + QString::fromStdString(source), "columns=auto",
                           "location=4", "phone=0"},
                          us);
  EXPECT_NE(run.out.find("location: column 4"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("columns=auto found no column for: email\n"), std::string::npos)
      << run.err;

  for (const QStringList& args : {QStringList{"--set", "time=0"}, QStringList{"--check"}}) {
    run = RunConsoleProgram(home_.Path(), args, us);
    EXPECT_EQ(run.exitCode, args.front() == "--set" ? 0 : 4) << run.err;
  }
  EXPECT_NE(run.out.find("no column is set for the appointment time: 2 records would go out "
                         "without one"),
            std::string::npos)
      << run.out;
  run = RunConsoleProgram(home_.Path(), {}, us);
  EXPECT_EQ(run.exitCode, 4);
  EXPECT_EQ(run.err, run.name +
                         ": no column is set for the appointment time: 2 records went out "
                         "without one\n" +
                         run.name +
                         ": read by date layout \"dd/mm/yy (day first)\" with delimiting char "
                         "\"/\", time layout \"hh:mm am\" with delimiting char \":\"\n" +
                         run.name +
                         ": regional settings en_US: month first, date separator \"/\", time "
                         "separator \":\", designators \"AM\" and \"PM\"\n");
}

TEST_F(Form1Test, FirstStartOnAFreshAccount) {
  const std::string home = home_.Path() + "/home";
  ::mkdir(home.c_str(), 0700);
  const std::map<QString, QString> fresh = {{"VANTRELIX_COMMON_DOCUMENTS", QString()},
                                            {"XDG_CONFIG_HOME", QString()},
                                            {"HOME", QString::fromStdString(home)}};
  ConsoleRun r = RunConsoleProgram(home_.Path(), {}, fresh);
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find(home + "/Documents/TOLV_7_Data/Sample_VANTRELIX.CSV\" does not exists!"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(testing::ReadFile(home + "/Documents/TOLV_7_Data/VANTRELIX_SU.DAT").size(), 152u);

  std::map<QString, QString> noHome = fresh;
  noHome["HOME"] = QString::fromStdString(home_.Path() + "/gone");
  r = RunConsoleProgram(home_.Path(), {}, noHome);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("Invalid filename."), std::string::npos) << r.err;
}

TEST_F(Form1Test, DisplaysThatCannotBeOpenedGiveConsoleMode) {
  Setup(Sample());
  const std::vector<std::map<QString, QString>> cases = {
      {{"QT_QPA_PLATFORM", "xcb"}},
      {{"QT_QPA_PLATFORM", "wayland"}, {"WAYLAND_DISPLAY", "nowhere-0"}},
      {{"QT_QPA_PLATFORM", "wayland;xcb"}, {"DISPLAY", ":4321"}},
      {{"DISPLAY", "localhost:99999999999"}},
      {{"DISPLAY", ":4321"}, {"WAYLAND_DISPLAY", "nowhere-0"}},
  };
  for (const auto& environment : cases) {
    const ConsoleRun r = RunConsoleProgram(home_.Path(), {}, environment);
    EXPECT_EQ(r.exitCode, 0) << environment.begin()->second.toStdString() << ": " << r.err;
    EXPECT_EQ(r.out, "Records Imported = 2 --Finished--\n");
  }
}

TEST_F(Form1Test, OverlongLineIsRefusedAndLeavesNothingBehind) {
  const std::string source = data_ + "/endless.csv";
  {
    const int fd = ::open(source.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(::ftruncate(fd, (off_t{64} << 20) + 1), 0);  // one line of 64 MiB + 1 NULs
    ::close(fd);
  }
  Setup(source);
  testing::WriteFile(data_ + "/TOLV_D.TXT", "previous");
  const ConsoleRun r = RunConsoleProgram(home_.Path(), {});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, r.name + ": " + source + ": Line 1 is longer than 64 MiB.\n");
  EXPECT_EQ(testing::ReadFile(data_ + "/TOLV_D.TXT"), "previous");
  EXPECT_EQ(testing::ListFolder(data_), "TOLV_D.TXT VANTRELIX_SU.DAT endless.csv");
}

// A stop signal in the middle of a pass: the previous import file stays,
// nothing is left behind, and the status tells the signal.
TEST_F(Form1Test, StopSignalsEndThePassCleanly) {
  const std::string source = data_ + "/big.csv";
  {
    std::string block;
    for (int i = 0; i < 10000; ++i) block += "7/4/2026,9:30 am,\"Roe, Jane\",Dr. Lee,555-0100\r\n";
    std::ofstream out(source, std::ios::binary);
    for (int i = 0; i < 300; ++i) out << block;  // about 130 MB
  }
  Setup(source);
  struct Case {
    int signal;
    bool windows;
  };
  for (const Case c :
       {Case{SIGTERM, false}, Case{SIGINT, false}, Case{SIGHUP, false}, Case{SIGTERM, true}}) {
    testing::WriteFile(data_ + "/TOLV_D.TXT", "previous");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    if (!c.windows) env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    const std::string program = testing::CopyProgram(VANTRELIX_PROGRAM, home_.Path(), "vtstop");
    p.start(QString::fromStdString(program), {});
    ASSERT_TRUE(p.waitForStarted(5000));
    // Wait until the pass has read a good part of the source.
    const std::string io = "/proc/" + std::to_string(p.processId()) + "/io";
    for (int i = 0; i < 500; ++i) {
      std::ifstream in(io);
      std::string key;
      long long value = 0;
      in >> key >> value;  // rchar: bytes read so far
      if (value > (20 << 20)) break;
      ::usleep(10000);
    }
    ::kill(static_cast<pid_t>(p.processId()), c.signal);
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 128 + c.signal) << c.signal << " windows " << c.windows;
    EXPECT_EQ(testing::ReadFile(data_ + "/TOLV_D.TXT"), "previous");
    EXPECT_EQ(testing::ListFolder(data_), "TOLV_D.TXT VANTRELIX_SU.DAT big.csv");
    ::unlink(program.c_str());
  }
}

}  // namespace
}  // namespace vantrelix
