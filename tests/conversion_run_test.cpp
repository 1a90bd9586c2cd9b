#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "comma_model.h"
#include "conversion_run.h"
#include "inouterror.h"
#include "normalise.h"
#include "source_lines.h"
#include "test_support.h"
#include "text_file.h"

namespace vantrelix {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// Records what the pass tells its surroundings.
class RecordingHost : public ConversionHost {
 public:
  void ShowMessage(const std::string& text) override { events.push_back("message: " + text); }
  void ShowCount(int64_t n) override { lastCount = n; }
  void ShowFinished() override { events.push_back("finished"); }
  void Pause(int ms) override { events.push_back("pause " + std::to_string(ms)); }
  void RequestTermination() override { events.push_back("end"); }
  void ShowUnread(const UnreadReport& report) override {
    unread = report;
    eventsBeforeUnread = events.size();
  }

  std::vector<std::string> events;
  std::optional<UnreadReport> unread;
  size_t eventsBeforeUnread = 0;
  int64_t lastCount = -1;
};

class ConversionRunTest : public ::testing::Test {
 protected:
  // Columns 1..7 in order, no header, default layouts.
  ConversionRunTest() {
    for (int i = 0; i < kFieldSlotCount; ++i) record.SetPosition(static_cast<FieldSlot>(i), 0);
    record.SetDateDelimiter('/');
    record.SetTimeDelimiter(':');
  }

  void Columns(std::initializer_list<int32_t> columns) {
    int i = 0;
    for (int32_t c : columns) record.SetPosition(static_cast<FieldSlot>(i++), c);
  }

  std::string Source(const std::string& bytes) {
    const std::string path = dir / "source.csv";
    WriteFile(path, bytes);
    record.SetSourceFileName(path);
    return path;
  }

  RunResult Run() { return ConversionRun(record, RegionalSettings{}, 2026, dir.Path(), host); }
  std::string Output() { return ReadFile(dir / "TOLV_D.TXT"); }
  std::string ErrorOfRun() {
    try {
      Run();
    } catch (const EInOutError& e) {
      return e.what();
    }
    return "";
  }

  TempDir dir;
  SetupRecord record;
  RecordingHost host;
};

const std::string kEmptyLineOut =
    "\"--Blank Line--\",\"--Blank Line--\",\"--Blank Line--\",\"--Blank Line--\","
    "\"--Blank Line--\",\"--Blank Line--\",\"--Blank Line--\"\r\n";

TEST_F(ConversionRunTest, PicksAndQuotesTheColumns) {
  Columns({1, 2, 0, 0, 3, 0, 0});
  Source("\"Roe, Jane\",555-0100,Dr. Lee\n");
  EXPECT_EQ(Run(), RunResult::kCompleted);
  EXPECT_EQ(Output(), "\"Roe, Jane\",\"555-0100\",\"\",\"\",\"Dr. Lee\",\"\",\"\"\r\n");
  EXPECT_EQ(host.events, (std::vector<std::string>{"finished", "pause 250", "end"}));
  EXPECT_EQ(host.lastCount, 1);
}

// Settings stored with a column far beyond any line's (by hand, by another
// program) give empty fields at once, neither memory nor time per line.
TEST_F(ConversionRunTest, AColumnFarOutIsEmpty) {
  Columns({2000000000, 2, 0, 0, 1000000, 0, 0});
  std::string source;
  for (int i = 0; i < 20000; ++i) source += "Roe,555\n";
  Source(source);
  EXPECT_EQ(Run(), RunResult::kCompleted);
  EXPECT_EQ(Output().substr(0, 25), "\"\",\"555\",\"\",\"\",\"\",\"\",\"\"\r\n");
}

TEST_F(ConversionRunTest, EachFieldDelimiterSplitsOnlyAtItsOwn) {
  struct Case {
    FieldDelimiter delimiter;
    const char* source;
    const char* import;
  };
  const Case cases[] = {
      {FieldDelimiter::kCommaOrTab, "Roe, Jane\t555;1|2,Dr. Lee\n",
       "\"Roe\",\" Jane\",\"\",\"\",\"555;1|2\",\"\",\"\"\r\n"},
      {FieldDelimiter::kComma, "Roe\tJane,555;1|2,Dr. Lee\n",
       "\"Roe\tJane\",\"555;1|2\",\"\",\"\",\"Dr. Lee\",\"\",\"\"\r\n"},
      {FieldDelimiter::kTab, "Roe, Jane\t555;1|2\tDr. Lee\n",
       "\"Roe, Jane\",\"555;1|2\",\"\",\"\",\"Dr. Lee\",\"\",\"\"\r\n"},
      {FieldDelimiter::kSemicolon, "M\xfcller, Hans;\"030;1\";Dr. Lee\n",
       "\"M\xfcller, Hans\",\"030;1\",\"\",\"\",\"Dr. Lee\",\"\",\"\"\r\n"},
      {FieldDelimiter::kPipe, "Roe, Jane|555\t1|Dr. Lee\n",
       "\"Roe, Jane\",\"555\t1\",\"\",\"\",\"Dr. Lee\",\"\",\"\"\r\n"},
  };
  Columns({1, 2, 0, 0, 3, 0, 0});
  for (const Case& c : cases) {
    record.SetDelimiter(c.delimiter);
    Source(c.source);
    EXPECT_EQ(Run(), RunResult::kCompleted);
    EXPECT_EQ(Output(), c.import) << kFieldDelimiterItems[static_cast<size_t>(c.delimiter)];
  }
}

// Each column goes to the import file as the column rule gives it, however
// its quotes stand: around it, inside it, none; short and long.
TEST_F(ConversionRunTest, ColumnsGoOutAsTheColumnRuleGivesThem) {
  std::mt19937 rng(31);
  const std::string pieces[] = {
      "\"", "\"\"", "a", "Tanaka, Ahmed", "x@example.com", "\"Roe, Jane\"", "6' 2\" tall",
      "\t", ",",    " "};
  std::string source;
  std::vector<std::string> lines;
  for (int n = 0; n < 2000; ++n) {
    std::string line;
    const int parts = static_cast<int>(rng() % 12);
    for (int i = 0; i < parts; ++i) line += pieces[rng() % std::size(pieces)];
    if (std::count(line.begin(), line.end(), '"') % 2 != 0) line += '"';  // no record runs on
    lines.push_back(line);
    source += line + (n % 3 == 0 ? "\r\n" : "\n");
  }
  Columns({1, 2, 0, 0, 3, 4, 9});
  Source(source);
  ASSERT_EQ(Run(), RunResult::kCompleted);
  std::string expected;
  for (const std::string& line : lines) {
    for (const int32_t column : {1, 2, 0, 0, 3, 4, 9}) {
      expected += '"';
      expected += testing::ModelComma(line, column);
      expected += "\",";
    }
    expected.back() = '\r';
    expected += '\n';
  }
  EXPECT_EQ(Output(), expected);
}

// A record that holds a quoted line break counts once, yet the examples name
// the line of the source that an operator looks for.
TEST_F(ConversionRunTest, ExamplesNameTheSourceLine) {
  Columns({1, 0, 2, 0, 0, 0, 0});
  Source("\"Roe,\nJane\",12/14/2026\nPoe,13/45/2026\n");
  Run();
  EXPECT_EQ(host.lastCount, 2);
  ASSERT_TRUE(host.unread.has_value());
  ASSERT_EQ(host.unread->dates.examples.size(), 1u);
  EXPECT_EQ(host.unread->dates.examples[0].line, 3);
  EXPECT_EQ(Output().substr(0, 14), "\"Roe, Jane\",\"\"");
}

// The pass counts the times it moved from a zone, the shortest forms too.
TEST_F(ConversionRunTest, CountsZonedTimes) {
  Columns({1, 0, 2, 2, 0, 0, 0});
  record.SetDateLayout(3);
  record.SetTimeLayout(5);
  Source("a,20261214T0930Z\nb,20261214T0930\nc,0930\n");
  Run();
  ASSERT_TRUE(host.unread.has_value());
  EXPECT_EQ(host.unread->zonedTimes, 1);
}

TEST_F(ConversionRunTest, ConvertsDatesAndTimes) {
  Columns({3, 5, 1, 2, 4, 0, 0});
  Source("7/4/2026,9:30 am,\"Doe, John\",Dr. Patel,555-0101\n12/31/99,2:05 pm,Ann,Dr. Wu,555\n");
  Run();
  EXPECT_EQ(Output(),
            "\"Doe, John\",\"555-0101\",\"07/04/26\",\"09:30 am\",\"Dr. Patel\",\"\",\"\"\r\n"
            "\"Ann\",\"555\",\"12/31/99\",\"02:05 pm\",\"Dr. Wu\",\"\",\"\"\r\n");
}

TEST_F(ConversionRunTest, CountsWhatItLeavesUnread) {
  Columns({3, 0, 1, 2, 0, 0, 0});
  record.SetSkipFirstLine(1);
  record.SetTimeLayout(10);  // a time it cannot read goes out without its marker
  Source(
      "Date,Time,Name\n"
      "7/4/2026,9:30,A\n"          // 2: both read
      "25/12/2026,9.30,B\n"        // 3: neither
      ",,C\n"                      // 4: nothing to read
      "\n"                         // 5: the placeholder is no date
      "13/1/26,1:05,D\n"           // 6: the date is not read
      "--Blank Line--,0:30,E\n");  // 7: a text like the placeholder is
  Run();
  ASSERT_TRUE(host.unread.has_value());
  const UnreadReport& r = *host.unread;
  EXPECT_EQ(host.eventsBeforeUnread, 0u) << "before --Finished--";
  EXPECT_EQ(r.linesRead, 7);
  EXPECT_EQ(r.dates.examined, 4);
  EXPECT_EQ(r.dates.unread, 3);
  ASSERT_EQ(r.dates.examples.size(), 3u);
  EXPECT_EQ(r.dates.examples[0].line, 3);
  EXPECT_EQ(r.dates.examples[0].text, "25/12/2026");
  EXPECT_EQ(r.dates.examples[2].line, 7);
  EXPECT_EQ(r.times.examined, 4);
  EXPECT_EQ(r.times.unread, 2);
  ASSERT_EQ(r.times.examples.size(), 2u);
  EXPECT_EQ(r.times.examples[0].text, "9.30") << "as the source has it, without the marker";
  EXPECT_EQ(r.times.examples[1].line, 7);
  EXPECT_EQ(r.timeLayout, 10);
  const std::string out = Output();
  EXPECT_NE(out.find("\"25/12/2026\",\"9.30\""), std::string::npos);
  EXPECT_NE(out.find("\"13/1/26\",\"01:05 pm\""), std::string::npos);
  EXPECT_NE(out.find("\"--Blank Line--\",\"0:30\""), std::string::npos);
}

// Runs that must not end with status 0 although every line went out, each
// with the summary line that says why.
TEST_F(ConversionRunTest, SummaryOfWhatIsMissingOrDoubtful) {
  struct Case {
    const char* name;
    const char* source;
    std::initializer_list<int32_t> columns;
    int32_t dateLayout;
    size_t line;  // of the summary
    const char* text;
  };
  const Case cases[] = {
      {"a date column past the line's end, no time column",
       "Ann,7/4/2026,9:30\nBo,7/5/2026,10:30\n",
       {1, 0, 9, 0, 0, 0, 0},
       0,
       1,
       "no column is set for the appointment time: 2 records went out without one"},
      {"the date column empty in every record",
       "Ann,7/4/2026,9:30\nBo,7/5/2026,10:30\n",
       {1, 0, 9, 3, 0, 0, 0},
       0,
       0,
       "the appointment date column (9) is empty in every record: 2 records went out without one"},
      {"nothing unread, yet every date is nearer now the other way (yymmdd: 2028, 2005)",
       "Ann,281226,9:30\nBo,050127,10:30\n",
       {1, 0, 2, 3, 0, 0, 0},
       4,
       0,
       "2 of 2 dates may be read in the wrong order, written to TOLV_D.TXT as read (line 1: "
       "\"281226\"); every date reads ddmmyy as well, with years nearer to now"},
      {"nothing read, so nothing doubtful: the layout that reads them is named",
       "Ann,25/12/2026,9:30\nBo,14/12/2026,10:30\n",
       {1, 0, 2, 3, 0, 0, 0},
       kMonthFirstLayout,
       3,
       "  date layout \"dd/mm/yy (day first)\" with delimiting char \"/\" reads the column"},
  };
  for (const Case& c : cases) {
    Source(c.source);
    Columns(c.columns);
    record.SetDateLayout(c.dateLayout);
    Run();
    ASSERT_TRUE(host.unread.has_value()) << c.name;
    EXPECT_EQ(PassExitStatus(*host.unread), kPassLeftUnreadOrDoubtful) << c.name;
    const std::vector<std::string> summary = UnreadSummary(*host.unread);
    ASSERT_GT(summary.size(), c.line) << c.name;
    EXPECT_EQ(summary[c.line], c.text) << c.name;
  }
}

TEST_F(ConversionRunTest, LineRulesAndCounts) {
  struct Case {
    const char* name;
    std::string source;
    uint8_t skipFirstLine;
    std::string output;  // column 1 into the name field, everything else 0
    int64_t count;
  };
  auto line = [](const std::string& name) {
    return "\"" + name + "\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n";
  };
  const Case cases[] = {
      {"header and three lines", "H\na\nb\nc\n", 1, line("a") + line("b") + line("c"), 4},
      {"no header: the header converts", "H\na\nb\nc\n", 0,
       line("H") + line("a") + line("b") + line("c"), 4},
      {"empty source", "", 0, kEmptyLineOut, 1},
      {"empty source with header", "", 1, kEmptyLineOut, 2},
      {"only a header", "H\r\n", 1, kEmptyLineOut, 2},
      {"last line without a line end", "a\nb", 0, line("a") + line("b"), 2},
      {"final CR LF adds no line", "a\r\nb\r\n", 0, line("a") + line("b"), 2},
      {"two line ends add an empty line", "a\r\nb\r\n\r\n", 0,
       line("a") + line("b") + kEmptyLineOut, 3},
      {"LF only", "a\nb\n", 0, line("a") + line("b"), 2},
      {"CR only is one line", "a\rb\rc\r", 0, line("abc"), 1},
      {"Ctrl-Z after the last line end", "a\nb\n\x1a", 0, line("a") + line("b"), 2},
      {"Ctrl-Z after the last text", "a\nb\x1a", 0, line("a") + line("b"), 2},
      {"Ctrl-Z ends the input early", "a\x1a\nb\n", 0, line("a"), 1},
      {"LF then lone CR reads two lines", "a\n\r", 0, line("a") + kEmptyLineOut, 2},
      {"header flag 2 is no header", "H\na\n", 2, line("H") + line("a"), 2},
      {"a UTF-8 byte-order mark is no part of the first field",
       "\xEF\xBB\xBF"
       "a\n\xEF\xBB\xBF"
       "b\n",
       0,
       line("a") + line("\xEF\xBB\xBF"
                        "b"),
       2},
      {"a mark on a line of its own", "\xEF\xBB\xBF\r\na\n", 0, kEmptyLineOut + line("a"), 2},
      // A notes cell with line breaks inside its quotes is one record.
      {"quoted line breaks, a blank each", "\"Bring\r\nX-rays\n\nnow\",x\nb\n", 0,
       line("Bring X-rays  now") + line("b"), 2},
      {"a header with a break in a quote", "\"Pat\nient\"\na\n", 1, line("a"), 2},
      {"a quote the source ends inside: lines as they stand", "\"a\nb\n", 0, line("a") + line("b"),
       2},
  };
  for (const Case& c : cases) {
    Columns({1, 0, 0, 0, 0, 0, 0});
    record.SetSkipFirstLine(c.skipFirstLine);
    Source(c.source);
    Run();
    EXPECT_EQ(Output(), c.output) << c.name;
    EXPECT_EQ(host.lastCount, c.count) << c.name;
  }
}

TEST_F(ConversionRunTest, NoFileAssigned) {
  WriteFile(dir / "TOLV_D.TXT", "previous");
  EXPECT_EQ(Run(), RunResult::kNoFileAssigned);
  EXPECT_EQ(host.events, (std::vector<std::string>{"message: No File Assigned!", "end"}));
  EXPECT_EQ(Output(), "previous");
}

TEST_F(ConversionRunTest, MissingSourceKeepsTheImportFile) {
  WriteFile(dir / "TOLV_D.TXT", "previous");
  record.SetSourceFileName(dir / "gone.csv");
  EXPECT_EQ(Run(), RunResult::kSourceMissing);
  EXPECT_EQ(host.events, (std::vector<std::string>{
                             "message: \"" + dir / "gone.csv" + "\" does not exists!", "end"}));
  EXPECT_EQ(Output(), "previous");
}

TEST_F(ConversionRunTest, ReplacesTheImportFileKeepingItsMode) {
  WriteFile(dir / "TOLV_D.TXT", "previous");
  ::chmod((dir / "TOLV_D.TXT").c_str(), 0664);
  Columns({1, 0, 0, 0, 0, 0, 0});
  Source("x\n");
  Run();
  EXPECT_EQ(Output(), "\"x\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n");
  struct stat st {};
  ::stat((dir / "TOLV_D.TXT").c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0664u);
  EXPECT_EQ(testing::ListFolder(dir.Path()), "TOLV_D.TXT source.csv") << "no temporary file left";
}

TEST_F(ConversionRunTest, SourceThatIsTheImportFile) {
  WriteFile(dir / "TOLV_D.TXT", "a,b\n");
  ::symlink((dir / "TOLV_D.TXT").c_str(), (dir / "link.csv").c_str());
  for (const std::string& name :
       {dir / "TOLV_D.TXT", dir / "link.csv", dir.Path() + "/./TOLV_D.TXT"}) {
    record.SetSourceFileName(name);
    EXPECT_EQ(ErrorOfRun(), "I/O error 32") << name;
    EXPECT_EQ(Output(), "a,b\n") << name;
  }
}

TEST_F(ConversionRunTest, FolderInPlaceOfTheImportFileOrTheSource) {
  ::mkdir((dir / "TOLV_D.TXT").c_str(), 0777);
  Source("x\n");
  EXPECT_EQ(ErrorOfRun(), "I/O error 267: a folder, not a file");
  EXPECT_EQ(testing::ListFolder(dir.Path()), "TOLV_D.TXT source.csv");
  EXPECT_TRUE(host.events.empty()) << "termination is not requested after an error";
  // A folder named as the source is no missing file.
  ::rmdir((dir / "TOLV_D.TXT").c_str());
  record.SetSourceFileName(dir.Path());
  EXPECT_EQ(ErrorOfRun(), "I/O error 267: a folder, not a file");
  EXPECT_EQ(testing::ListFolder(dir.Path()), "source.csv");
}

TEST_F(ConversionRunTest, MissingDataFolder) {
  Source("x\n");
  const std::string result = [&] {
    try {
      ConversionRun(record, RegionalSettings{}, 2026, dir / "gone", host);
    } catch (const EInOutError& e) {
      return std::string(e.what());
    }
    return std::string();
  }();
  EXPECT_EQ(result, "Invalid filename");
}

TEST_F(ConversionRunTest, UnreadableSourceKeepsTheImportFile) {
  ::chmod(dir.Path().c_str(), 0777);
  WriteFile(dir / "TOLV_D.TXT", "previous");
  ::chmod((dir / "TOLV_D.TXT").c_str(), 0666);
  Source("x\n");
  ::chmod((dir / "source.csv").c_str(), 0200);
  const std::string result = testing::RunUnprivileged([&] { return ErrorOfRun(); });
  EXPECT_EQ(result, "File access denied");
  EXPECT_EQ(Output(), "previous");
}

TEST_F(ConversionRunTest, ReadOnlyImportFileFailsBeforeReading) {
  ::chmod(dir.Path().c_str(), 0777);
  WriteFile(dir / "TOLV_D.TXT", "previous");
  ::chmod((dir / "TOLV_D.TXT").c_str(), 0444);
  Source("x\n");
  ::chmod((dir / "source.csv").c_str(), 0644);
  const std::string result = testing::RunUnprivileged([&] { return ErrorOfRun(); });
  EXPECT_EQ(result, "File access denied");
  EXPECT_EQ(Output(), "previous");
}

TEST_F(ConversionRunTest, DiskFullDuringThePassKeepsThePreviousImportFile) {
  testing::SmallDisk disk(dir / "disk", "256k");
  if (!disk.Mounted()) VANTRELIX_SKIP(disk.Why());
  WriteFile(dir / "disk/TOLV_D.TXT", "previous");
  Columns({1, 1, 1, 1, 1, 1, 1});
  std::string big;
  while (big.size() < 200'000) big += "some appointment text\n";
  Source(big);
  const std::string result = [&] {
    try {
      ConversionRun(record, RegionalSettings{}, 2026, dir / "disk", host);
    } catch (const EInOutError& e) {
      return std::string(e.what());
    }
    return std::string();
  }();
  EXPECT_EQ(result, "Disk full");
  EXPECT_EQ(ReadFile(dir / "disk/TOLV_D.TXT"), "previous");
  EXPECT_EQ(testing::ListFolder(dir / "disk"), "TOLV_D.TXT");
}

TEST_F(ConversionRunTest, BytesPassThroughUnchanged) {
  Columns({1, 2, 0, 0, 0, 0, 0});
  std::string all;
  for (int b = 0; b < 256; ++b) {
    if (b != '\n' && b != '\r' && b != 26 && b != '"' && b != ',' && b != '\t')
      all.push_back(char(b));
  }
  const std::string longField(10 << 20, 'L');
  Source(all + "," + longField + "\n");
  Run();
  EXPECT_EQ(Output(), "\"" + all + "\",\"" + longField + "\",\"\",\"\",\"\",\"\",\"\"\r\n");
}

TEST(TextReader, ReadsInBlocksOfAnySize) {
  TempDir dir;
  const std::string bytes = "first\r\nsec\rond\n\nlast\r";
  WriteFile(dir / "t", bytes);
  for (size_t block : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{1 << 20}}) {
    TextReader reader = TextReader::Open(dir / "t", block);
    std::vector<std::string> lines;
    do {
      lines.push_back(reader.ReadTextLine());
    } while (!reader.TextAtEnd());
    EXPECT_EQ(lines, (std::vector<std::string>{"first", "second", "", "last"})) << block;
    EXPECT_EQ(reader.ReadTextLine(), "") << "past the end";
  }
}

}  // namespace
}  // namespace vantrelix

namespace vantrelix {
namespace {

// Counts the output's lines and checks that each is seven quoted fields.
int64_t CheckedOutputLines(const std::string& out) {
  int64_t lines = 0;
  for (size_t start = 0; start < out.size();) {
    const size_t end = out.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "an unterminated output line";
    if (end == std::string::npos) break;
    const std::string line = out.substr(start, end - start);
    int quotes = 0, commas = 0;
    bool inside = false;
    for (char c : line) {
      if (c == '"') ++quotes, inside = !inside;
      if (c == ',' && !inside) ++commas;
    }
    EXPECT_EQ(quotes, 14) << "line " << lines;
    EXPECT_EQ(commas, 6) << "line " << lines;
    ++lines;
    start = end + 2;
  }
  return lines;
}

// A spreadsheet's "Unicode Text" is UTF-16; the reader gives UTF-8, by the
// same line rules. Any other file stays bytes, a stray NUL included.
TEST(TextReader, Utf16BecomesUtf8) {
  const auto utf16 = [](std::u16string_view text, bool little) {
    std::string out;
    for (char16_t u : text) {
      const char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
      out += little ? std::string{lo, hi} : std::string{hi, lo};
    }
    return out;
  };
  const std::u16string text = u"M\u00fcller\tZ\u00fcrich\r\n\U0001F600 \u0152\n";
  const std::vector<std::string> decoded = {"M\xc3\xbcller\tZ\xc3\xbcrich",
                                            "\xf0\x9f\x98\x80 \xc5\x92"};
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"little-endian with its mark", utf16(u"\ufeff" + text, true), decoded},
      {"big-endian with its mark", utf16(u"\ufeff" + text, false), decoded},
      {"little-endian without", utf16(text, true), decoded},
      {"big-endian without", utf16(text, false), decoded},
      {"a lone surrogate, an odd last byte",
       utf16(std::u16string{u'\ufeff', u'a', char16_t{0xD800}, u'b', u'\n'}, true) + "x",
       {"a\xef\xbf\xbd"
        "b",
        "\xef\xbf\xbd"}},
      {"Ctrl-Z ends it", utf16(u"ab\x1a\ncd", true), {"ab"}},
      {"Windows-1252 with a stray NUL",
       std::string("Ren\xe9\0e,Dr. L\xf6w\r\n", 16),
       {std::string("Ren\xe9\0e,Dr. L\xf6w", 14)}},
  };
  TempDir dir;
  for (const Case& c : cases) {
    WriteFile(dir / "t", c.bytes);
    for (size_t block : {size_t{1}, size_t{3}, size_t{1 << 20}}) {
      TextReader reader = TextReader::Open(dir / "t", block);
      std::vector<std::string> lines;
      do {
        lines.push_back(reader.ReadTextLine());
      } while (!reader.TextAtEnd());
      EXPECT_EQ(lines, c.lines) << c.name << ", block " << block;
    }
  }
}

// A quote open for more lines or bytes than a field holds is a stray one:
// its line is a record of its own, and so is every line after it.
TEST(SourceRecords, StrayQuotesEndAtTheirLine) {
  struct Case {
    const char* name;
    std::string source;
    size_t records;
    size_t secondSize;  // the record after the header
    int64_t stray, strayLine;
  };
  const auto lines = [](int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += "l\n";
    return text;
  };
  const Case cases[] = {
      {"closed on the 100th line", "h\n\"a\n" + lines(98) + "z\"\nlast\n", 3, 2 + 98 * 2 + 3, 0, 0},
      {"open past 100 lines", "h\n\"a\n" + lines(99) + "z\"\n", 102, 2, 2, 2},
      {"open past 64 KiB", "h\n\"a\n" + std::string(70000, 'x') + "\nb\n", 4, 2, 1, 2},
      // Quotes counted sixteen bytes at a time, the last block overlapping.
      {"a closing quote in the last bytes", "h\n\"" + std::string(30, 'x') + "\"y\nb\n", 3, 33, 0,
       0},
      {"an opening quote in the last bytes", "h\n" + std::string(30, 'x') + ",\"y\nb\"\n", 2,
       31 + 2 + 1 + 2, 0, 0},
      // Quotes inside text neither open nor close a record of several lines.
      {"a quote inside text", "h\nBob 6' 2\" tall,555\nAnn,556\nDan \"The Man,558\n", 4, 18, 2, 2},
      {"a closing quote inside text", "h\n\"notes\nsaid \"hi\" there,x\n", 3, 6, 1, 2},
  };
  TempDir dir;
  for (const Case& c : cases) {
    WriteFile(dir / "t", c.source);
    TextReader reader = TextReader::Open(dir / "t");
    SourceRecords records(reader);
    std::vector<std::string> got;
    do {
      got.emplace_back(records.Next());
    } while (!records.AtEnd());
    EXPECT_EQ(got.size(), c.records) << c.name;
    ASSERT_GE(got.size(), 2u) << c.name;
    EXPECT_EQ(got[1].size(), c.secondSize) << c.name;
    EXPECT_EQ(records.StrayQuotes(), c.stray) << c.name;
    EXPECT_EQ(records.FirstStrayQuoteLine(), c.strayLine) << c.name;
  }
}

// A plain line is split where the reader holds it, in the scan that finds
// its end; every record must come out as the line rules and the splitter
// give it on their own: text, line number, columns, stray quotes.
TEST(SourceRecords, SplitWhereTheReaderHoldsItAsTheRulesGiveIt) {
  std::mt19937 rng(2027);
  const char alphabet[] = {'a', 'b', ',',  ',',  '\t', '"',    '"',  ' ',
                           ';', '|', '\n', '\n', '\r', '\x1a', '\0', '\xff'};
  TempDir dir;
  std::string source, fast, slow;
  for (int round = 0; round < 3000; ++round) {
    source.clear();
    const int length = static_cast<int>(rng() % 200);
    for (int i = 0; i < length; ++i) source.push_back(alphabet[rng() % sizeof alphabet]);
    // Now and then a line that crosses a block, or runs into the end.
    if (rng() % 4 == 0) source += std::string(rng() % 70, 'x') + (rng() % 2 ? "\n" : "");
    WriteFile(dir / "s", source);
    const auto delimiter = static_cast<FieldDelimiter>(rng() % kFieldDelimiterItems.size());
    const auto maxColumn = static_cast<int32_t>(rng() % 9);
    const size_t block = std::vector<size_t>{7, 16, 33, 64, 4096}[rng() % 5];
    TextReader fastReader = TextReader::Open(dir / "s", block);
    TextReader slowReader = TextReader::Open(dir / "s", block);
    SourceRecords fastRecords(fastReader), slowRecords(slowReader);
    LineColumns fastSplit(delimiter), slowSplit(delimiter);
    for (int record = 0;; ++record) {
      const std::string_view fastLine = fastRecords.NextSplit(fastSplit, maxColumn);
      const std::string_view slowLine = slowRecords.Next();
      slowSplit.Split(slowLine, maxColumn);
      const std::string where = "round " + std::to_string(round) + ", record " +
                                std::to_string(record) + ", block " + std::to_string(block);
      ASSERT_EQ(fastLine, slowLine) << where;
      ASSERT_EQ(fastRecords.FirstLine(), slowRecords.FirstLine()) << where;
      ASSERT_EQ(fastSplit.Count(), slowSplit.Count()) << where;
      for (int32_t column = -1; column <= maxColumn + 1; ++column) {
        bool fastQuoted, slowQuoted;
        ASSERT_EQ(fastSplit.RawColumn(column, fastQuoted), slowSplit.RawColumn(column, slowQuoted))
            << where << ", column " << column;
        ASSERT_EQ(fastQuoted, slowQuoted) << where << ", column " << column;
        fastSplit.ColumnInto(column, fast);
        slowSplit.ColumnInto(column, slow);
        ASSERT_EQ(fast, slow) << where << ", column " << column;
      }
      const bool atEnd = fastRecords.AtEnd();
      ASSERT_EQ(atEnd, slowRecords.AtEnd()) << where;
      if (atEnd) break;
    }
    ASSERT_EQ(fastRecords.StrayQuotes(), slowRecords.StrayQuotes()) << round;
    ASSERT_EQ(fastRecords.FirstStrayQuoteLine(), slowRecords.FirstStrayQuoteLine()) << round;
  }
}

TEST_F(ConversionRunTest, HostileSourcesKeepTheLineRules) {
  std::mt19937 rng(99);
  std::string garbage(1 << 20, '\0');
  for (char& c : garbage) c = static_cast<char>(rng());
  struct Case {
    const char* name;
    std::string source;
  };
  const Case cases[] = {
      {"binary garbage", garbage},
      {"200000 empty lines", std::string(200000, '\n')},
      {"only CRs", std::string(100000, '\r')},
      {"only Ctrl-Z", std::string(1000, '\x1a')},
  };
  Columns({1, 2, 3, 4, 5, 6, 7});
  record.SetDateLayout(3);
  record.SetTimeLayout(10);
  for (const Case& c : cases) {
    Source(c.source);
    Run();
    EXPECT_EQ(CheckedOutputLines(Output()), host.lastCount) << c.name;
  }
}

}  // namespace
}  // namespace vantrelix
