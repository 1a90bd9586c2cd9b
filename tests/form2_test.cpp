#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <functional>

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <sys/stat.h>

#include "conversion_run.h"
#include "preview_list.h"
#include "preview_model.h"
#include "program_state.h"
#include "silent_host.h"
#include "startup.h"
#include "test_support.h"
#include "tform1.h"
#include "tform2.h"
#include "ui_support.h"
#include "updown.h"

namespace vantrelix {
namespace {

using testing::TempDir;

class Form2Test : public ::testing::Test {
 protected:
  Form2Test() : env_("VANTRELIX_COMMON_DOCUMENTS", home_.Path().c_str()) {
    data_ = home_ / "TOLV_7_Data";
    ::mkdir(data_.c_str(), 0777);
    // The defaults, but columns 1..7 in order so that rows are easy to read.
    WriteDefaultSetupIfMissing(state.record, DataFolderFrom(home_.Path(), ""));
    for (int k = 0; k < kFieldSlotCount; ++k)
      state.record.SetPosition(static_cast<FieldSlot>(k), k + 1);
    program_ = std::make_unique<WindowProgram>(state);
    program_->Form1().Timer1()->stop();  // these tests drive the window themselves
    state.paths = DataFolderFrom(home_.Path(), "");
  }

  TForm2& Form() { return program_->Form2(); }
  template <typename T>
  T* Child(const char* name) {
    T* w = Form().findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  // Rows of one preview column (1-based).
  std::vector<std::string> Rows(int column) {
    const PreviewColumnModel& m = Form().Preview(column - 1);
    std::vector<std::string> rows;
    for (int i = 0; i < m.rowCount(); ++i) rows.push_back(m.Row(i));
    return rows;
  }
  std::string Count() { return Child<QLabel>("Label38")->text().toStdString(); }

  // A source with a header and `n` data lines "dK,pK,...".
  std::string Source(int n, bool header = true) {
    std::string text = header ? "H1,H2,H3,H4,H5,H6,H7\r\n" : "";
    for (int i = 1; i <= n; ++i) {
      const std::string k = std::to_string(i);
      text += "d" + k + ",p" + k + ",x,y,z,w,v\r\n";
    }
    return SourceText(text);
  }
  std::string SourceText(const std::string& text) {
    const std::string path = data_ + "/export.csv";
    testing::WriteFile(path, text);
    state.record.SetSourceFileName(path);
    return path;
  }
  static std::vector<std::string> Names(int from, int to) {
    std::vector<std::string> v;
    for (int i = from; i <= to; ++i) {
      const std::string k = std::to_string(i);
      v.push_back("d" + k);
    }
    return v;
  }
  void Click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
  QToolButton* Arrow(int spinner, const char* which) {
    return Child<TUpDown>(("UpDown" + std::to_string(spinner)).c_str())
        ->findChild<QToolButton*>(which);
  }

  TempDir home_;
  testing::ScopedEnv env_;
  std::string data_;
  ProgramState state;
  testing::BoxCloser closer;
  std::unique_ptr<WindowProgram> program_;
};

TEST_F(Form2Test, PreviewOfHeaderAndTenLines) {
  Source(10);
  Form().FormActivate();
  EXPECT_EQ(Rows(1), Names(1, 4)) << "header skipped, first five lines read";
  EXPECT_EQ(Count(), "5");
  Click(Child<QRadioButton>("RadioGroup1Item1"));
  EXPECT_EQ(Rows(1), Names(1, 10));
  EXPECT_EQ(Count(), "11");
  Click(Child<QCheckBox>("CheckBox1"));
  std::vector<std::string> all = {"H1"};
  for (const auto& n : Names(1, 10)) all.push_back(n);
  EXPECT_EQ(Rows(1), all);
  EXPECT_EQ(Count(), "11");
  Click(Child<QRadioButton>("RadioGroup1Item0"));
  EXPECT_EQ(Rows(1), std::vector<std::string>(all.begin(), all.begin() + 5));
  EXPECT_EQ(Count(), "5");
  EXPECT_TRUE(closer.boxes.empty());
}

TEST_F(Form2Test, SmallFiles) {
  struct Case {
    const char* name;
    std::string text;
    uint8_t skip;
    std::vector<std::string> column1;
    const char* count;
  };
  const Case cases[] = {
      {"three lines", "a\r\nb\r\nc\r\n", 0, {"a", "b", "c"}, "3"},
      {"empty file", "", 0, {"--Blank Line--"}, "1"},
      {"only a header", "H\r\n", 1, {"--Blank Line--"}, "2"},
  };
  for (const Case& c : cases) {
    SourceText(c.text);
    state.record.SetSkipFirstLine(c.skip);
    Form().FormActivate();
    EXPECT_EQ(Rows(1), c.column1) << c.name;
    EXPECT_EQ(Count(), c.count) << c.name;
  }
}

TEST_F(Form2Test, ColumnAtPositionZeroGivesEmptyRows) {
  SourceText("H\r\na,b\r\n\r\nc,d\r\n");
  state.record.SetPosition(FieldSlot::kPhone, 0);
  Form().FormActivate();
  EXPECT_EQ(Rows(2), (std::vector<std::string>{"", "--Blank Line--", ""}));
}

TEST_F(Form2Test, SpinnerArrowsMoveTheColumnAndRebuild) {
  SourceText("H\r\nc1,c2,c3,c4,c5\r\n");
  state.record.SetPosition(FieldSlot::kName, 3);
  state.record.SetPosition(FieldSlot::kPhone, 0);
  Form().FormActivate();
  EXPECT_EQ(Rows(1), (std::vector<std::string>{"c3"}));
  Click(Arrow(1, "up"));
  EXPECT_EQ(Child<QLabel>("Label51")->text(), "4");
  EXPECT_EQ(Rows(1), (std::vector<std::string>{"c4"}));

  // At 0 the lower arrow changes nothing and rebuilds nothing: with the
  // source gone, a rebuild would report the missing file.
  ::unlink(state.record.SourceFileName().c_str());
  Click(Arrow(2, "down"));
  EXPECT_EQ(Child<QLabel>("Label52")->text(), "0");
  EXPECT_TRUE(closer.boxes.empty());
  EXPECT_EQ(Rows(1), (std::vector<std::string>{"c4"}));
}

TEST(TUpDownTest, LimitsAndSilentSetting) {
  TUpDown spinner;
  QSignalSpy clicks(&spinner, &TUpDown::Click);
  spinner.SetPosition(100);
  spinner.SetPosition(250);
  EXPECT_EQ(spinner.Position(), 100);
  EXPECT_EQ(clicks.count(), 0) << "setting from code reports nothing";
  spinner.UpButton()->click();
  EXPECT_EQ(clicks.count(), 0) << "no wrapping at the top";
  spinner.DownButton()->click();
  EXPECT_EQ(spinner.Position(), 99);
  ASSERT_EQ(clicks.count(), 1);
  EXPECT_EQ(clicks.at(0).at(0).toInt(), 99);
  spinner.SetPosition(-3);
  EXPECT_EQ(spinner.Position(), 0);
}

TEST_F(Form2Test, NewFileShowsItsRowsAndTheProposalAtOnce) {
  struct Case {
    const char* name;
    bool typed;  // typed into the box and confirmed, or chosen in the dialog
    std::string text;
    std::array<int, kFieldSlotCount> columns;
    bool header;
    std::string firstName;
    const char* count;
    std::array<const char*, kFieldSlotCount> origins;
  };
  const Case cases[] = {
      {"header in another order, chosen in the dialog",
       false,
       "Appt Date,Appt Time,Client,Tel,Provider,Room\r\n"
       "12/14/2026,9:30 am,\"Garcia, Maria\",555-0142,Dr. Patel,2\r\n"
       "12/15/2026,10:15 am,\"Okafor, Grace\",555-0178,Dr. Lee,3\r\n",
       {3, 4, 1, 2, 5, 6, 0},
       true,
       "Garcia, Maria",
       "3",
       {"header 'Client'", "header 'Tel'", "header 'Appt Date'", "header 'Appt Time'",
        "header 'Provider'", "header 'Room'", "no column fits"}},
      // The stored settings skip a header: this file's first line would be lost.
      {"no header, typed",
       true,
       "14:30,\"Chen, Li\",12/14/26,Dr. Lee,li@example.org\r\n"
       "09:05,\"Ode, Ann\",12/15/26,Dr. Ray,ann@example.org\r\n",
       {2, 0, 3, 1, 4, 0, 5},
       false,
       "Chen, Li",
       "2",
       {"looks like \"Last, First\" names", "no column fits", "looks like dates",
        "looks like times", "looks like doctors' names", "no column fits",
        "looks like e-mail addresses"}},
  };
  for (const Case& c : cases) {
    Source(2);
    state.record.SetSkipFirstLine(1);
    Form().FormActivate();
    const std::string other = data_ + "/other.csv";
    testing::WriteFile(other, c.text);
    QLineEdit* edit = Child<QLineEdit>("Edit1");
    if (c.typed) {
      edit->clear();
      QTest::keyClicks(edit, QString::fromStdString(other));
      QTest::keyClick(edit, Qt::Key_Return);
    } else {
      closer.onOtherModal = [&](QWidget* w) {
        if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
          dialog->selectFile(QString::fromStdString(other));
          QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
        }
      };
      Form().Edit1Click();
      closer.onOtherModal = nullptr;
    }
    EXPECT_EQ(edit->text().toStdString(), other) << c.name;
    ASSERT_FALSE(Rows(1).empty()) << c.name;
    EXPECT_EQ(Rows(1).front(), c.firstName) << c.name;
    EXPECT_EQ(Count(), c.count) << c.name;
    EXPECT_EQ(Child<QCheckBox>("CheckBox1")->isChecked(), c.header) << c.name;
    for (int k = 0; k < kFieldSlotCount; ++k) {
      const std::string spinner = "UpDown" + std::to_string(k + 1);
      EXPECT_EQ(Child<TUpDown>(spinner.c_str())->Position(), c.columns[k]) << c.name << k;
      EXPECT_EQ(Child<QLabel>(("Label5" + std::to_string(k + 1)).c_str())->text().toInt(),
                c.columns[k])
          << c.name << k;
      EXPECT_FALSE(Form().Origin(k)->isHidden()) << c.name << k;
      EXPECT_EQ(Form().Origin(k)->toolTip().toStdString(), c.origins[k]) << c.name << k;
    }
    EXPECT_TRUE(Form().DateReading()->text().startsWith("Dates: 2 of 2 read"))
        << c.name << " " << Form().DateReading()->text().toStdString();
    EXPECT_TRUE(Form().TimeReading()->text().startsWith("Times: 2 of 2 read"))
        << c.name << " " << Form().TimeReading()->text().toStdString();
    EXPECT_TRUE(closer.boxes.empty()) << c.name;

    Click(Arrow(2, "up"));  // the operator still decides
    EXPECT_TRUE(Form().Origin(1)->isHidden()) << c.name;
    EXPECT_FALSE(Form().Origin(0)->isHidden()) << c.name;
  }
}

// The lines are read once; a click shows other columns of them, and an
// export rewritten meanwhile is read again.
TEST_F(Form2Test, ChangesReuseTheLinesUnlessTheFileChanged) {
  Source(3);
  Form().FormActivate();
  Click(Child<QRadioButton>("RadioGroup1Item1"));
  EXPECT_EQ(Rows(1), Names(1, 3));
  Click(Child<QCheckBox>("CheckBox1"));  // the header is a row now
  EXPECT_EQ(Rows(1), (std::vector<std::string>{"H1", "d1", "d2", "d3"}));
  Source(5);  // another size
  Click(Child<QCheckBox>("CheckBox1"));
  EXPECT_EQ(Rows(1), Names(1, 5));
  EXPECT_EQ(Count(), "6");
}

// Kilobytes of the process's resident memory: now, or at its peak since
// the peak was last reset.
int64_t ResidentKiB(const char* which) {
  std::ifstream status("/proc/self/status");
  std::string key;
  int64_t kib = -1;
  while (status >> key) {
    if (key == which) status >> kib;
  }
  return kib;
}

TEST_F(Form2Test, MillionLinePreviewHoldsLessThanTheFile) {
  const std::string path = Source(1000000);
  struct stat file {};
  ASSERT_EQ(::stat(path.c_str(), &file), 0);
  Form().show();
  Form().FormActivate();
  std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
  const int64_t before = ResidentKiB("VmRSS:");
  Child<QRadioButton>("RadioGroup1Item1")->click();  // "All Records"
  const int64_t peak = ResidentKiB("VmHWM:");
  ASSERT_EQ(Form().Preview(0).rowCount(), 1000000);
  EXPECT_EQ(Form().Preview(0).Row(999999), "d1000000");
  ASSERT_GT(before, 0);
  // Short lines: the per-line marks and ids are a third of it here, and the
  // lines themselves or a row layout per list would take more than the file.
  EXPECT_LT((peak - before) * 1024, file.st_size) << "the preview holds less than the file";
}

// A big file is read with the window taking clicks: whatever the operator
// changes meanwhile is what the preview shows once the reading ends.
TEST_F(Form2Test, ChangesDuringTheFillAreHonoured) {
  constexpr int kLines = 600000;
  struct Case {
    const char* name;
    std::function<void()> change;
    const char* firstRow;  // null: no rows
    int rows;              // -1: fewer than the file's
    const char* count;
    bool readsAgain;  // else the count never drops
  };
  const std::string small = data_ + "/small.csv";
  testing::WriteFile(small, "H\r\ns1,t1\r\ns2,t2\r\n");
  const auto typeName = [this](const std::string& name) {
    Child<QLineEdit>("Edit1")->setText(QString::fromStdString(name));
  };
  const Case cases[] = {
      {"spinner", [this] { Click(Arrow(1, "up")); }, "p1", kLines, "600001", false},
      {"header box", [this] { Click(Child<QCheckBox>("CheckBox1")); }, "H1", kLines + 1, "600001",
       false},
      {"first five", [this] { Click(Child<QRadioButton>("RadioGroup1Item0")); }, "d1", 4, "5",
       true},
      {"field delimiter", [this] { Child<QComboBox>("ComboBox3")->setCurrentIndex(3); },
       "d1,p1,x,y,z,w,v", kLines, "600001", false},
      {"another file",
       [&] {
         typeName(small);
         Form().NewSource();
       },
       "s1", 2, "3", true},
      {"emptied name box",
       [&] {
         typeName("");
         Form().NewSource();
       },
       nullptr, 0, "0", true},
      {"closed", [this] { Form().close(); }, "d1", -1, nullptr, false},
      {"another file, then closed before it was confirmed",
       [&] {
         typeName(small);
         Form().close();
         Form().NewSource();  // the box loses the focus as the window goes
       },
       "d1", -1, nullptr, false},
      {"the program asked to end", [this] { state.terminationRequested = true; }, "d1", -1, nullptr,
       false},
  };
  Source(kLines);
  for (const Case& c : cases) {
    state.record.SetSourceFileName(data_ + "/export.csv");
    state.terminationRequested = false;
    program_.reset();
    program_ = std::make_unique<WindowProgram>(state);
    program_->Form1().Timer1()->stop();
    Form().show();
    Form().FormActivate();
    // Halfway through the file, as the reading lets events through: a
    // reading started again would show fewer lines read for a while.
    int readWhenChanged = 0;
    bool countDropped = false;
    int lastCount = 0;
    QTimer passes;
    QObject::connect(&passes, &QTimer::timeout, [&] {
      const int count = Count().empty() ? 0 : std::stoi(Count());
      countDropped = countDropped || count < lastCount;
      lastCount = count;
      if (readWhenChanged == 0 && count >= kLines / 2 && count < kLines) {
        readWhenChanged = count;
        c.change();
      }
    });
    passes.start(0);
    Child<QRadioButton>("RadioGroup1Item1")->click();  // "All Records"
    passes.stop();
    ASSERT_GT(readWhenChanged, 0) << c.name << ": the change came during the reading";
    if (!c.readsAgain) {
      EXPECT_FALSE(countDropped) << c.name << ": the reading started again";
    }
    const PreviewColumnModel& names = Form().Preview(0);
    if (c.firstRow == nullptr) {
      EXPECT_EQ(names.rowCount(), 0) << c.name;
    } else {
      ASSERT_GT(names.rowCount(), 0) << c.name;
      EXPECT_EQ(names.Row(0), c.firstRow) << c.name;
    }
    if (c.rows >= 0) {
      EXPECT_EQ(names.rowCount(), c.rows) << c.name;
      EXPECT_EQ(Count(), c.count) << c.name;
    } else {
      EXPECT_LT(names.rowCount(), kLines) << c.name << ": the reading was given up";
    }
  }
  state.terminationRequested = false;
}

TEST_F(Form2Test, StoredFileOffersItsProposalOnlyByAButton) {
  const std::string header = "Name,Phone,Date,Time,Doctor,Location,Email\r\n";
  const std::string line = "\"Garcia, Maria\",555-0142,12/14/26,09:30 am,Dr. Patel,R1,g@x.org\r\n";
  struct Case {
    const char* name;
    std::string text;
    const char* button;  // empty: none offered
    int nameColumn;      // once it is clicked
    const char* tooltip;
  };
  const Case cases[] = {
      {"stored columns are those of the header; the order of day and month gets stated",
       header + line, "Use the proposed layouts", 1, "Patient Name: 1 (header 'Name')\nPhoneNo: 2"},
      {"nothing recognised", "H1,H2\r\nd1,p1\r\n", "", 1, ""},
      {"the dates are day first",
       header + "\"Garcia, Maria\",555-0142,14/12/26,09:30 am,Dr. Patel,R1,g@x.org\r\n",
       "Use the proposed layouts", 1, "Patient Name: 1 (header 'Name')\nPhoneNo: 2"},
      {"header in another order",
       "Time,Date,Name,Phone,Doctor,Location,Email\r\n"
       "09:30 am,12/14/26,\"Garcia, Maria\",555-0142,Dr. Patel,R1,g@x.org\r\n",
       "Use the proposed columns", 3, "Patient Name: 3 (header 'Name')\nPhoneNo: 4"},
      {"a column the operator chose where the header names none stays",
       "Name,Phone,Date,Time,Doctor,Zone,Email\r\n" + line, "Use the proposed layouts", 1,
       "Patient Name: 1 (header 'Name')\nPhoneNo: 2"},
  };
  for (const Case& c : cases) {
    SourceText(c.text);
    Form().FormActivate();
    QPushButton* use = Form().ProposalButton();
    const bool offered = *c.button != '\0';
    EXPECT_EQ(!use->isHidden(), offered) << c.name;
    EXPECT_EQ(Child<TUpDown>("UpDown1")->Position(), 1) << c.name << ": nothing applied yet";
    EXPECT_TRUE(Form().Origin(0)->isHidden()) << c.name;
    if (!offered) continue;
    EXPECT_EQ(QString(use->text()).remove('&').toStdString(), c.button) << c.name;
    EXPECT_TRUE(use->toolTip().startsWith(c.tooltip)) << c.name << use->toolTip().toStdString();
    Click(use);
    EXPECT_TRUE(use->isHidden()) << c.name;
    EXPECT_EQ(Child<TUpDown>("UpDown1")->Position(), c.nameColumn) << c.name;
    EXPECT_EQ(Rows(1), (std::vector<std::string>{"Garcia, Maria"})) << c.name;
    EXPECT_TRUE(Form().DateReading()->text().startsWith("Dates: 1 of 1 read")) << c.name;
    EXPECT_EQ(Form().Origin(0)->toolTip(), "header 'Name'") << c.name;
    EXPECT_EQ(Child<TUpDown>("UpDown6")->Position(), 6) << c.name << ": never cleared";
    // The reading in use, as the stated layout reads, whatever the locale.
    EXPECT_TRUE(Form().DateReading()->text().contains(
        " (" + Child<QComboBox>("ComboBox1")->currentText() + ")"))
        << c.name << Form().DateReading()->text().toStdString();
  }
}

TEST_F(Form2Test, MissingFileIsReportedTwiceOnOpeningWithTheDefaults) {
  state.record.SetSourceFileName(data_ + "/gone.csv");
  Form().FormActivate();
  ASSERT_EQ(closer.boxes.size(), 2u);
  const std::string message = "\"" + data_ + "/gone.csv\" does not exists!";
  EXPECT_EQ(closer.boxes[0].text.toStdString(), message);
  EXPECT_EQ(closer.boxes[1].text.toStdString(), message);
  EXPECT_TRUE(Rows(1).empty());
  EXPECT_EQ(Count(), "") << "no count before a file is read";
  EXPECT_TRUE(Form().FirstStepHint()->isHidden()) << "a file the operator chose is missing";
}

// A fresh account: the settings name the sample that nothing installed.
// The window says what to do first, with the focus there, and no box.
TEST_F(Form2Test, FirstStartGuidesInsteadOfAnErrorBox) {
  state.record.SetSourceFileName(state.paths.dataFolder + "/Sample_VANTRELIX.CSV");
  Form().FormActivate();
  EXPECT_TRUE(closer.boxes.empty());
  EXPECT_FALSE(Form().FirstStepHint()->isHidden());
  EXPECT_EQ(Form().focusWidget(), Child<QLineEdit>("Edit1"));
  EXPECT_EQ(Count(), "");
  // Enter opens the file dialog, in the source's folder.
  QString opened;
  closer.onOtherModal = [&](QWidget* w) {
    if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
      opened = dialog->directory().absolutePath();
      QMetaObject::invokeMethod(dialog, "reject", Qt::DirectConnection);
    }
  };
  QTest::keyClick(Child<QLineEdit>("Edit1"), Qt::Key_Return);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !opened.isEmpty(); }));
  closer.onOtherModal = nullptr;
  EXPECT_EQ(opened.toStdString(), state.paths.dataFolder);
}

TEST_F(Form2Test, LongNameIsPreviewedAndStoredWhole) {
  Form().FormActivate();
  const std::string longName = data_ + "/" + std::string(120 - data_.size() - 1, 'n');
  ASSERT_EQ(longName.size(), 120u);
  testing::WriteFile(longName, "H\r\nlong\r\n");
  QLineEdit* edit = Child<QLineEdit>("Edit1");
  edit->clear();
  QTest::keyClicks(edit, QString::fromStdString(longName));
  Click(Child<QCheckBox>("CheckBox1"));
  Click(Child<QCheckBox>("CheckBox1"));
  EXPECT_EQ(Rows(1), (std::vector<std::string>{"long"}));
  ASSERT_TRUE(Form().FormClose());
  EXPECT_EQ(state.record.SourceFileName(), longName);
}

TEST_F(Form2Test, ClosingStoresEveryControl) {
  Source(3);
  Form().FormActivate();
  for (int i = 0; i < 2; ++i) Click(Arrow(7, "up"));  // 7 -> 9
  Click(Arrow(3, "down"));                            // 3 -> 2
  Click(Child<QCheckBox>("CheckBox1"));               // no header
  Child<QComboBox>("ComboBox1")->setCurrentIndex(3);
  QComboBox* times = Child<QComboBox>("ComboBox2");
  times->clearEditText();
  QTest::keyClicks(times, "hh-mm");  // a typed text that is no item
  QLineEdit* dateDelimiter = Child<QLineEdit>("Edit2");
  dateDelimiter->clear();
  QTest::keyClicks(dateDelimiter, "-x");  // one character at most
  Child<QLineEdit>("Edit3")->clear();
  Child<QComboBox>("ComboBox3")->setCurrentIndex(4);
  ASSERT_TRUE(Form().FormClose());

  SetupRecord stored;
  LoadSetup(stored, state.paths.setupFileName);
  EXPECT_EQ(stored.Position(FieldSlot::kEmail), 9);
  EXPECT_EQ(stored.Position(FieldSlot::kDate), 2);
  EXPECT_EQ(stored.Position(FieldSlot::kName), 1);
  EXPECT_EQ(stored.SkipFirstLine(), 0);
  EXPECT_EQ(stored.DateLayout(), 3);
  EXPECT_EQ(stored.TimeLayout(), -1);
  EXPECT_EQ(stored.DateDelimiter(), '-');
  EXPECT_EQ(stored.TimeDelimiter(), ':') << "an empty box keeps the stored character";
  EXPECT_EQ(stored.Delimiter(), FieldDelimiter::kPipe);
}

TEST_F(Form2Test, StoredSettingsConvertAsThePreviewShowed) {
  Source(4);
  Form().FormActivate();
  Click(Arrow(1, "up"));  // name from column 2
  Click(Child<QRadioButton>("RadioGroup1Item1"));
  const std::vector<std::string> shown = Rows(1);
  ASSERT_TRUE(Form().FormClose());

  testing::SilentHost host;
  ConversionRun(state.record, RegionalSettings{}, 2026, state.paths.dataFolder, host);
  const std::string out = testing::ReadFile(state.paths.dataFolder + "/TOLV_D.TXT");
  std::string expected;
  for (const std::string& name : shown) expected += "\"" + name + "\",";
  std::string firstColumn;
  for (size_t start = 0; start < out.size();) {
    const size_t end = out.find("\r\n", start);
    firstColumn += out.substr(start, out.find(',', start) - start + 1);
    start = end + 2;
  }
  EXPECT_EQ(firstColumn, expected);
}

// Remembers what the pass left unread.
class UnreadHost : public testing::SilentHost {
 public:
  void ShowUnread(const UnreadReport& r) override { report = r; }
  UnreadReport report;
};

TEST_F(Form2Test, CountsLineSaysWhenTheTimeHasNoColumn) {
  SourceText("H1,H2,H3,H4,H5\r\na,p,7/4/2026,9:30 am,x\r\n");
  state.record.SetPosition(FieldSlot::kTime, 0);
  Form().FormActivate();
  EXPECT_EQ(Form().TimeReading()->text().toStdString(),
            "Times: no column is set for the appointment time: every record goes out without one");
  for (int i = 0; i < 4; ++i) Click(Arrow(4, "up"));  // the operator sets it
  EXPECT_TRUE(Form().TimeReading()->text().startsWith("Times: 1 of 1 read"))
      << Form().TimeReading()->text().toStdString();
  EXPECT_TRUE(Form().DateReading()->text().startsWith("Dates: 1 of 1 read"))
      << Form().DateReading()->text().toStdString();
  ASSERT_TRUE(Form().FormClose());
}

TEST_F(Form2Test, ReadingsAgreeWithThePassAndItsSummary) {
  SourceText(
      "H1,H2,H3,H4,H5,H6,H7\r\n"
      "a,p,7/4/2026,9:30 am,x\r\n"
      "b,p,25/12/2026,9.30 am,x\r\n"  // neither is read
      "c,p,,,x\r\n"                   // nothing to read
      "\r\n"                          // the placeholder is nothing to read
      "d,p,13/1/2026,14:30,x\r\n"     // the date is not read
      "e,p,12/31/2026,7:05 pm,x\r\n");
  Form().FormActivate();
  Click(Child<QRadioButton>("RadioGroup1Item1"));
  const QString dates = Form().DateReading()->text();
  const QString times = Form().TimeReading()->text();
  // 25/12 and 13/1 read only day first, so 7/4 may be 7 April as well.
  EXPECT_TRUE(dates.startsWith(
      "Dates: 2 of 4 read, 1 of them may have day and month swapped · month first, \"/\" (C)"))
      << dates.toStdString();
  EXPECT_TRUE(times.startsWith("Times: 3 of 4 read")) << times.toStdString();
  using Reading = PreviewColumnModel::Reading;
  const PreviewColumnModel& dateColumn = Form().Preview(2);
  const std::vector<Reading> marks = {Reading::kDoubtful,      Reading::kLeftAsItCame,
                                      Reading::kNothingToRead, Reading::kNothingToRead,
                                      Reading::kLeftAsItCame,  Reading::kRead};
  for (int row = 0; row < 6; ++row) EXPECT_EQ(dateColumn.ReadingOf(row), marks[row]) << row;
  EXPECT_TRUE(dateColumn.data(dateColumn.index(0), Qt::ToolTipRole)
                  .toString()
                  .startsWith("Day and month may be swapped"));
  EXPECT_EQ(dateColumn.data(dateColumn.index(1), Qt::ToolTipRole).toString(),
            "Not read: written as 25/12/2026");
  ASSERT_TRUE(Form().FormClose());

  UnreadHost host;
  ConversionRun(state.record, state.regional, CurrentLocalYear(), state.paths.dataFolder, host);
  EXPECT_EQ(host.report.dates.examined, 4);
  EXPECT_EQ(host.report.dates.unread, 2);
  EXPECT_EQ(host.report.dates.doubtful, 1);
  EXPECT_EQ(host.report.times.examined, 4);
  EXPECT_EQ(host.report.times.unread, 1);
  const std::vector<std::string> summary = UnreadSummary(host.report);
  ASSERT_FALSE(summary.empty());
  EXPECT_EQ(summary[0],
            "2 of 4 dates not read, written to TOLV_D.TXT as they came (7 lines read):");
  EXPECT_NE(std::find(summary.begin(), summary.end(),
                      "1 of 4 dates may have day and month swapped, written to TOLV_D.TXT as "
                      "read (line 2: \"7/4/2026\"); 2 dates read only with day and month "
                      "swapped: date layout \"dd/mm/yy (day first)\" with delimiting char \"/\" "
                      "reads 3 of 4"),
            summary.end());
  // The import file has exactly those as they came.
  const std::string out = testing::ReadFile(state.paths.dataFolder + "/TOLV_D.TXT");
  for (const char* raw : {"\"25/12/2026\",\"9.30 am\"", "\"13/1/2026\",\"02:30 pm\"",
                          "\"07/04/26\",\"09:30 am\"", "\"12/31/26\",\"07:05 pm\""}) {
    EXPECT_NE(out.find(raw), std::string::npos) << raw;
  }
}

TEST_F(Form2Test, SuggestionIsChosenOnlyByAClick) {
  SourceText("H\r\na,p,26-07-04,0230pm\r\nb,p,26-12-25,1205pm\r\nc,p,27-01-13,0945am\r\n");
  Form().FormActivate();
  QPushButton* dates = Form().DateSuggestion();
  QPushButton* times = Form().TimeSuggestion();
  EXPECT_TRUE(Form().DateReading()->text().startsWith("Dates: 0 of 3 read"));
  ASSERT_FALSE(dates->isHidden());
  EXPECT_EQ(dates->text(), "Use \"yy/mm/dd\" with \"-\": reads 3 of 3 dates");
  ASSERT_FALSE(times->isHidden());
  EXPECT_EQ(times->text(), "Use \"hhmmam\": reads 3 of 3 times");
  EXPECT_EQ(Child<QComboBox>("ComboBox1")->currentIndex(), 0) << "nothing chosen yet";

  Click(dates);
  Click(times);
  EXPECT_EQ(Child<QComboBox>("ComboBox1")->currentIndex(), 1);
  EXPECT_EQ(Child<QLineEdit>("Edit2")->text(), "-");
  EXPECT_EQ(Child<QComboBox>("ComboBox2")->currentIndex(), 6);
  EXPECT_TRUE(Form().DateReading()->text().startsWith("Dates: 3 of 3 read"));
  EXPECT_TRUE(Form().TimeReading()->text().startsWith("Times: 3 of 3 read"));
  EXPECT_TRUE(dates->isHidden());
  EXPECT_EQ(state.record.DateLayout(), 0) << "the record changes on closing only";
  ASSERT_TRUE(Form().FormClose());
  EXPECT_EQ(state.record.DateLayout(), 1);
  EXPECT_EQ(state.record.DateDelimiter(), '-');
  EXPECT_EQ(state.record.TimeLayout(), 6);
}

TEST_F(Form2Test, BytesThatAreNotUtf8ShowAsWindows1252AndSurvive) {
  const std::string name = data_ + "/M\xFCller.csv";  // Windows-1252
  testing::WriteFile(name, "H\r\nM\xFCller,p\r\nZo\xC3\xAB,p\r\n");
  state.record.SetSourceFileName(name);
  state.record.SetDateDelimiter('\xE9');
  Form().FormActivate();
  EXPECT_EQ(Child<QLineEdit>("Edit1")->text(), QString::fromStdString(data_) + "/Müller.csv");
  const PreviewColumnModel& names = Form().Preview(0);
  EXPECT_EQ(names.Row(0), "M\xFCller") << "the bytes are kept";
  EXPECT_EQ(names.data(names.index(0), Qt::DisplayRole).toString(), "Müller");
  EXPECT_EQ(names.data(names.index(1), Qt::DisplayRole).toString(), "Zoë") << "UTF-8";
  EXPECT_TRUE(closer.boxes.empty()) << "the file was found";
  ASSERT_TRUE(Form().FormClose());
  SetupRecord stored;
  LoadSetup(stored, state.paths.setupFileName);
  EXPECT_EQ(stored.SourceFileName(), name);
  EXPECT_EQ(stored.DateDelimiter(), '\xE9');

  QLineEdit* edit = Child<QLineEdit>("Edit1");  // a name the operator types is stored as typed
  edit->setText(edit->text().replace("Müller", "Mueller"));
  ASSERT_TRUE(Form().FormClose());
  EXPECT_EQ(state.record.SourceFileName(), data_ + "/Mueller.csv");
}

TEST_F(Form2Test, ListsScrollTogether) {
  Source(200);
  Form().show();
  Form().FormActivate();
  Click(Child<QRadioButton>("RadioGroup1Item1"));
  QApplication::processEvents();
  Child<PreviewList>("ListBox3")->verticalScrollBar()->setValue(120);
  for (const char* name : {"ListBox1", "ListBox4", "ListBox7"}) {
    EXPECT_EQ(Child<PreviewList>(name)->verticalScrollBar()->value(), 120) << name;
  }
  // The last row is reached by key, and is drawn at the bottom of every list.
  PreviewList* first = Child<PreviewList>("ListBox1");
  QTest::keyClick(first, Qt::Key_End);
  EXPECT_EQ(first->CurrentRow(), 199);
  for (const char* name : {"ListBox1", "ListBox7"}) {
    PreviewList* list = Child<PreviewList>(name);
    const int bottom = (list->viewport()->height() / list->RowHeight() - 1) * list->RowHeight();
    EXPECT_EQ(list->RowAt(bottom), 199) << name;
  }
}

TEST_F(Form2Test, FailedSaveKeepsTheWindowOpen) {
  Source(1);
  ::unlink(state.paths.setupFileName.c_str());
  ::mkdir(state.paths.setupFileName.c_str(), 0777);  // a folder where the file belongs
  Form().FormActivate();
  EXPECT_FALSE(Form().FormClose());
  ASSERT_EQ(closer.boxes.size(), 1u);
  EXPECT_EQ(closer.boxes[0].text, "I/O error 267: a folder, not a file.");
  ::rmdir(state.paths.setupFileName.c_str());
  EXPECT_TRUE(Form().FormClose()) << "closing again runs every step again";
}

// What a screen reader is told: every control named, with its role; the
// spinners' values; the preview's visible rows with their texts, an unread
// one marked in its text (not by its tint alone) and told why.
TEST_F(Form2Test, ScreenReadersHearEveryControl) {
  SourceText("Name,Phone,Date,Time\r\nAnn,555,12/14/26,9:30 am\r\nBo,556,soon,10:00 am\r\n");
  Form().FormActivate();
  const auto of = [](QObject* o) { return QAccessible::queryAccessibleInterface(o); };
  const char* const fields[] = {"Patient Name",
                                "PhoneNo",
                                "Date of Appointment",
                                "Time of Appointment",
                                "Doctor",
                                "Location of Appointment",
                                "Email Address (Optional Feature)"};
  for (int k = 0; k < kFieldSlotCount; ++k) {
    const std::string n = std::to_string(k + 1);
    QAccessibleInterface* spinner = of(Child<TUpDown>(("UpDown" + n).c_str()));
    ASSERT_NE(spinner, nullptr);
    EXPECT_EQ(spinner->role(), QAccessible::SpinBox) << k;
    EXPECT_EQ(spinner->text(QAccessible::Name).toStdString(), std::string(fields[k]) + " column");
    ASSERT_NE(spinner->valueInterface(), nullptr);
    EXPECT_EQ(spinner->valueInterface()->currentValue().toInt(), k + 1);
    QAccessibleInterface* list = of(Child<PreviewList>(("ListBox" + n).c_str()));
    EXPECT_EQ(list->role(), QAccessible::List) << k;
    EXPECT_EQ(list->text(QAccessible::Name).toStdString(), std::string(fields[k]) + " preview");
  }
  // Each field's heading reaches its spinner (Alt and the marked letter).
  const char* const heads[] = {"Label2", "Label17", "Label18", "Label5",
                               "Label6", "Label7",  "Label8"};
  for (int k = 0; k < kFieldSlotCount; ++k) {
    EXPECT_EQ(Child<QLabel>(heads[k])->buddy(),
              Child<TUpDown>(("UpDown" + std::to_string(k + 1)).c_str()));
  }
  QAccessibleInterface* dates = of(Child<PreviewList>("ListBox3"));
  ASSERT_EQ(dates->childCount(), 2);
  EXPECT_EQ(dates->child(0)->role(), QAccessible::ListItem);
  EXPECT_EQ(dates->child(0)->text(QAccessible::Name), "12/14/26");
  EXPECT_EQ(dates->child(1)->text(QAccessible::Name), "! soon");
  EXPECT_TRUE(dates->child(1)->text(QAccessible::Description).startsWith("Not read"))
      << dates->child(1)->text(QAccessible::Description).toStdString();
  EXPECT_EQ(Form().Preview(2).data(Form().Preview(2).index(1), PreviewColumnModel::kMarkRole), "!");

  // Drop-downs are named by their labels; the two delimiter boxes apart.
  for (const auto& [box, label] :
       {std::pair{"ComboBox1", "Label40"}, std::pair{"ComboBox2", "Label43"},
        std::pair{"ComboBox3", "Label44"}, std::pair{"Edit1", "Label1"},
        std::pair{"Edit2", "Label41"}, std::pair{"Edit3", "Label42"}}) {
    bool labelled = false;
    for (const auto& [other, relation] : of(Child<QWidget>(box))->relations(QAccessible::Label)) {
      labelled = labelled || other->object() == Child<QLabel>(label);
    }
    EXPECT_TRUE(labelled) << box;
  }
  EXPECT_EQ(of(Child<QLineEdit>("Edit2"))->text(QAccessible::Name), "Date Delimiting Char");
  EXPECT_EQ(of(Child<QLineEdit>("Edit3"))->text(QAccessible::Name), "Time Delimiting Char");
  EXPECT_EQ(of(Child<QLineEdit>("Edit1"))->text(QAccessible::Name), "Source File");
  EXPECT_EQ(of(Child<QRadioButton>("RadioGroup1Item1"))->role(), QAccessible::RadioButton);
  EXPECT_EQ(of(&program_->Form1())->role(), QAccessible::Window) << "not a filler";
  // Each mnemonic letter once in the window.
  QString letters;
  for (QWidget* w : Form().findChildren<QWidget*>()) {
    if (w->window() != &Form()) continue;  // the file dialog has its own
    const auto* label = qobject_cast<QLabel*>(w);
    const auto* button = qobject_cast<QAbstractButton*>(w);
    const QString text = label != nullptr ? label->text() : button != nullptr ? button->text() : "";
    const qsizetype at = text.indexOf('&');
    if (at < 0 || at + 1 >= text.size()) continue;
    const QChar letter = text[at + 1].toLower();
    EXPECT_FALSE(letters.contains(letter)) << "Alt+" << QString(letter).toStdString() << " twice";
    letters += letter;
  }
  EXPECT_GE(letters.size(), 15);

  // Set by a screen reader or by typed digits, a spinner moves its column.
  TUpDown* name = Child<TUpDown>("UpDown1");
  of(name)->valueInterface()->setCurrentValue(2);
  EXPECT_EQ(Rows(1), (std::vector<std::string>{"555", "556"}));
  name->setFocus();
  QTest::keyClicks(name, "4");
  EXPECT_EQ(name->Position(), 4);
  EXPECT_EQ(Rows(1), (std::vector<std::string>{"9:30 am", "10:00 am"}));
  QTest::keyClicks(name, "0");  // within the pause: forty
  EXPECT_EQ(name->Position(), 40);
}

// A long readings pass lets the window's events in; a change among them
// reads anew, and the pass given up leaves its result unshown.
TEST_F(Form2Test, AChangeDuringALongReadingWins) {
  std::string text = "Name,Phone,Date,Time\r\n";
  char line[64];
  for (int i = 0; i < 200000; ++i) {
    std::snprintf(line, sizeof line, "N%d,555,%d/%d/26 %d:%d,9:30 am\r\n", i, i % 12 + 1,
                  i % 28 + 1, i % 24, i % 60);
    text += line;
  }
  SourceText(text);
  Form().FormActivate();
  Click(Child<QRadioButton>("RadioGroup1Item1"));  // all records
  QComboBox* layouts = Child<QComboBox>("ComboBox1");
  layouts->setCurrentIndex(0);
  bool changedDuring = false;
  // Comes at the first pause of the next pass.
  QTimer::singleShot(0, &Form(), [&] {
    changedDuring = true;
    layouts->setCurrentIndex(5);  // day first: more dates read
  });
  Child<TUpDown>("UpDown3")->SetByOperator(1);  // the names: many distinct texts
  Child<TUpDown>("UpDown3")->SetByOperator(3);
  EXPECT_TRUE(changedDuring);
  EXPECT_EQ(layouts->currentIndex(), 5);
  EXPECT_TRUE(Form().DateReading()->text().contains("day first"))
      << Form().DateReading()->text().toStdString();
}

TEST_F(Form2Test, DesignTextsAndLayoutItems) {
  Source(1);
  Form().FormActivate();
  EXPECT_EQ(Form().windowTitle(), "Field Selector-2");
  // As they read: a mnemonic's mark is no text.
  EXPECT_EQ(Child<QLabel>("Label8")->text().remove('&'), "Email  Address (Optional Feature)");
  EXPECT_EQ(Child<QCheckBox>("CheckBox1")->text().remove('&'), "Skip Fist Record");
  EXPECT_EQ(Child<QLineEdit>("Edit1")->toolTip(), "Left Click to bring up Dialog Selection Box");
  EXPECT_EQ(Child<QLabel>("Label39")->text(), "V1.01");
  QComboBox* times = Child<QComboBox>("ComboBox2");
  ASSERT_EQ(times->count(), 11);
  EXPECT_EQ(times->itemText(4), "hh:mm (Military) ");
  EXPECT_EQ(Child<QComboBox>("ComboBox1")->currentIndex(), 0);
  EXPECT_EQ(Child<QLineEdit>("Edit2")->maxLength(), 1);
}

TEST_F(Form2Test, WindowFitsTheScreen) {
  struct Case {
    const char* name;
    QRect available;
    bool fits;
  };
  const Case cases[] = {
      {"1920x1080", QRect(0, 0, 1920, 1080), true},
      {"1920x1080 under a top panel", QRect(0, 28, 1920, 1052), true},
      {"1024x768", QRect(0, 0, 1024, 768), false},
      {"1920x1080 at a 2x scale", QRect(0, 0, 960, 540), false},
  };
  Source(2);
  Form().FormActivate();
  QScrollArea* area = Form().ScrollArea();
  for (const Case& c : cases) {
    Form().FitScreen(c.available);
    Form().show();
    QApplication::processEvents();
    EXPECT_TRUE(c.available.contains(Form().frameGeometry())) << c.name;
    EXPECT_EQ(!area->horizontalScrollBar()->isVisible() && !area->verticalScrollBar()->isVisible(),
              c.fits)
        << c.name;
    if (c.fits) {
      EXPECT_EQ(Form().size(), QSize(1211, 747)) << c.name;
      EXPECT_EQ(Child<PreviewList>("ListBox7")->mapTo(&Form(), QPoint(0, 0)), QPoint(904, 160))
          << c.name;
    }
    // The far corners' controls can be scrolled into view.
    for (const char* name : {"Label39", "Image1", "Label42", "ListBox7"}) {
      QWidget* w = Child<QWidget>(name);
      area->ensureWidgetVisible(w, 0, 0);
      const QRect shown(w->mapTo(area->viewport(), QPoint(0, 0)), w->size());
      EXPECT_TRUE(area->viewport()->rect().contains(shown)) << c.name << " " << name;
    }
    Form().hide();
  }
}

TEST_F(Form2Test, KeyboardOrderIsTheDesigns) {
  const std::vector<std::string> design = {
      "Edit1",     "ListBox1", "ListBox2",  "ListBox3",  "ListBox4",         "ListBox5",
      "ListBox6",  "ListBox7", "UpDown1",   "UpDown2",   "UpDown3",          "UpDown4",
      "UpDown5",   "UpDown6",  "UpDown7",   "CheckBox1", "RadioGroup1Item0", "RadioGroup1Item1",
      "ComboBox1", "Edit2",    "ComboBox2", "Edit3"};
  std::vector<std::string> order;
  QWidget* start = Child<QWidget>("Edit1");
  QWidget* w = start;
  do {
    const std::string name = w->objectName().toStdString();
    if (std::find(design.begin(), design.end(), name) != design.end()) order.push_back(name);
    w = w->nextInFocusChain();
  } while (w != start && order.size() < design.size());
  EXPECT_EQ(order, design);
}

TEST_F(Form2Test, SetupRunOpensTheWindowAndWritesOnlyTheSettings) {
  Source(2);
  SaveSetup(state.record, state.paths.setupFileName);
  testing::WriteFile(data_ + "/TOLV_D.TXT", "previous");
  ProgramState run;
  run.startArgument = "SETUP";
  program_.reset();  // one guard component per process
  WindowProgram setup(run);
  bool sawSelector = false;
  closer.onOtherModal = [&](QWidget* w) {
    if (w == &setup.Form2() && !sawSelector) {
      sawSelector = true;
      QTimer::singleShot(100, w, [w] { w->close(); });
    }
  };
  setup.Start();
  QApplication::exec();
  EXPECT_TRUE(sawSelector);
  EXPECT_EQ(testing::ReadFile(data_ + "/TOLV_D.TXT"), "previous");
  SetupRecord stored;
  LoadSetup(stored, state.paths.setupFileName);
  EXPECT_EQ(stored.SourceFileName(), data_ + "/export.csv");
  EXPECT_TRUE(run.terminationRequested);
}

}  // namespace
}  // namespace vantrelix
