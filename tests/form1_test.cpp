#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QProcess>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include "program_state.h"
#include "startup.h"
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

  // Runs the program with windows until its event loop ends; gives the ms.
  qint64 Run(const std::string& argument, const std::function<void(WindowProgram&)>& during = {}) {
    state.startArgument = argument;
    WindowProgram program(state);
    program.Start();
    label4AfterStart = program.Form1().findChild<QLabel*>("Label4")->text().toStdString();
    label6HiddenAtStart = program.Form1().findChild<QLabel*>("Label6")->isHidden();
    if (during) during(program);
    QElapsedTimer clock;
    clock.start();
    QApplication::exec();
    label6VisibleAtEnd = !program.Form1().findChild<QLabel*>("Label6")->isHidden();
    label5AtEnd = program.Form1().findChild<QLabel*>("Label5")->text().toStdString();
    return clock.elapsed();
  }

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
  const qint64 ms = Run("");
  EXPECT_GE(ms, 900);
  EXPECT_LT(ms, 3000);
  EXPECT_EQ(testing::ReadFile(data_ + "/TOLV_D.TXT"),
            "\"Roe, Jane\",\"555\",\"07/04/26\",\"09:30 am\",\"Dr. Lee\",\"\",\"\"\r\n");
  EXPECT_EQ(label4AfterStart, source) << "Label4 shows the source after the load";
  EXPECT_TRUE(label6HiddenAtStart);
  EXPECT_TRUE(label6VisibleAtEnd);
  EXPECT_EQ(label5AtEnd, "2") << "the header counts";
  EXPECT_EQ(state.exitCode, exit_status::kCompleted);
  EXPECT_TRUE(closer.boxes.empty());
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
  const qint64 ms = Run("", [](WindowProgram& p) {
    QTimer::singleShot(200, &p.Form1(), [&p] { p.Form1().close(); });
  });
  EXPECT_LT(ms, 900);
  EXPECT_FALSE(testing::PathExists(data_ + "/TOLV_D.TXT"));
}

TEST_F(Form1Test, FailedLoadIsShownAndTheTickActsOnWhatItLeft) {
  testing::WriteFile(data_ + "/VANTRELIX_SU.DAT", "");
  Run("");
  ASSERT_EQ(closer.boxes.size(), 2u);
  EXPECT_EQ(closer.boxes[0].text, "Read beyond end of file.");
  EXPECT_EQ(closer.boxes[0].icon, QMessageBox::Critical);
  EXPECT_EQ(closer.boxes[0].title, "Vantrelix");
  EXPECT_EQ(closer.boxes[1].text, "No File Assigned!") << "the record stayed all zero";
  EXPECT_EQ(closer.boxes[1].icon, QMessageBox::NoIcon);
  EXPECT_EQ(label4AfterStart, "Label4");
}

TEST_F(Form1Test, ErrorInTheTickLeavesTheWindowOpen) {
  Setup(Sample());
  ::mkdir((data_ + "/TOLV_D.TXT").c_str(), 0777);
  bool openAfterError = false;
  const qint64 ms = Run("", [&](WindowProgram& p) {
    QTimer::singleShot(2500, &p.Form1(), [&] {
      openAfterError = p.Form1().isVisible() && !state.terminationRequested;
      p.Form1().close();
    });
  });
  EXPECT_GE(ms, 2000) << "the program waited for the operator";
  EXPECT_TRUE(openAfterError);
  ASSERT_EQ(closer.boxes.size(), 1u);
  EXPECT_EQ(closer.boxes[0].text, "File access denied.");
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
};

ConsoleRun RunConsoleProgram(const std::string& home, const QStringList& args) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(v);
  env.insert("VANTRELIX_COMMON_DOCUMENTS", QString::fromStdString(home));
  p.setProcessEnvironment(env);
  static int copies = 0;
  const std::string program = testing::CopyProgram(
      VANTRELIX_PROGRAM, home,
      "vantrelix-console-" + std::to_string(::getpid()) + "-" + std::to_string(++copies));
  p.start(QString::fromStdString(program), args);
  p.waitForFinished(20000);
  return {p.exitCode(), p.readAllStandardOutput().toStdString(),
          p.readAllStandardError().toStdString()};
}

TEST_F(Form1Test, ConsoleModeWithoutADisplay) {
  Setup(Sample());
  ConsoleRun r = RunConsoleProgram(home_.Path(), {});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "Records Imported = 2 --Finished--\n");
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(testing::PathExists(data_ + "/TOLV_D.TXT"));

  Setup(data_ + "/gone.csv");
  r = RunConsoleProgram(home_.Path(), {});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "\"" + data_ + "/gone.csv\" does not exists!\n");

  Setup("");
  r = RunConsoleProgram(home_.Path(), {});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "No File Assigned!\n");

  r = RunConsoleProgram(home_.Path(), {"SETUP"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("needs a desktop session"), std::string::npos) << r.err;

  testing::WriteFile(data_ + "/VANTRELIX_SU.DAT", "");
  r = RunConsoleProgram(home_.Path(), {});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "Read beyond end of file.\nNo File Assigned!\n");

  Setup(Sample());
  ::unlink((data_ + "/TOLV_D.TXT").c_str());
  ::mkdir((data_ + "/TOLV_D.TXT").c_str(), 0777);
  r = RunConsoleProgram(home_.Path(), {});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "File access denied.\n");
}

TEST_F(Form1Test, FirstStartWritesTheDefaults) {
  const ConsoleRun r = RunConsoleProgram(home_.Path(), {});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "\"" + data_ + "/Sample_VANTRELIX.CSV\" does not exists!\n");
  EXPECT_EQ(testing::ReadFile(data_ + "/VANTRELIX_SU.DAT").size(), 152u);
}

}  // namespace
}  // namespace vantrelix
