#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>

#include "inouterror.h"
#include "posix_file.h"
#include "setup_file.h"
#include "special_folder.h"
#include "test_support.h"

namespace vantrelix {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

std::string ImageText(const SetupRecord& r) {
  return std::string(reinterpret_cast<const char*>(r.Bytes().data()), SetupRecord::kSize);
}

// The message an engine call raised, or "" when it raised nothing.
template <typename F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const EFileProblem& e) {
    return e.what();
  }
  return "";
}

TEST(DefaultSetup, WritesTheDocumentedBytes) {
  TempDir dir;
  const DataFolderPaths paths = DataFolderFrom("", dir.Path());
  SetupRecord record;
  WriteDefaultSetupIfMissing(record, paths);

  const std::string file = ReadFile(paths.setupFileName);
  ASSERT_EQ(file.size(), 152u);
  const std::string sample = paths.dataFolder + "/Sample_VANTRELIX.CSV";
  EXPECT_EQ(static_cast<unsigned char>(file[0]), sample.size());
  EXPECT_EQ(file.substr(1, sample.size()), sample);
  EXPECT_EQ(file.substr(1 + sample.size(), 100 - sample.size()),
            std::string(100 - sample.size(), '\0'));
  const unsigned char tail[] = {0, 0, 0, 3, 0, 0,    0, 5, 0, 0, 0, 1, 0, 0,    0, 2, 0,
                                0, 0, 4, 0, 0, 0,    0, 0, 0, 0, 0, 0, 0, 0,    1, 0, 0,
                                0, 0, 0, 0, 0, 0x2F, 0, 0, 0, 0, 0, 0, 0, 0x3A, 0, 0, 0};
  EXPECT_EQ(file.substr(101), std::string(reinterpret_cast<const char*>(tail), sizeof tail));

  SetupRecord loaded;
  LoadSetup(loaded, paths.setupFileName);
  EXPECT_EQ(loaded.SourceFileName(), sample);
  EXPECT_EQ(ImageText(loaded), file);
}

TEST(DefaultSetup, KeepsAnExistingFile) {
  TempDir dir;
  const DataFolderPaths paths = DataFolderFrom("", dir.Path());
  ::mkdir(paths.dataFolder.c_str(), 0777);
  WriteFile(paths.setupFileName, std::string(152, 'k'));
  SetupRecord record;
  WriteDefaultSetupIfMissing(record, paths);
  EXPECT_EQ(ReadFile(paths.setupFileName), std::string(152, 'k'));
  EXPECT_EQ(record.SourceFileName(), "");
}

TEST(DefaultSetup, LongDataFolderKeepsTheWholeSampleName) {
  TempDir dir;
  const std::string deep = dir / std::string(90 - dir.Path().size(), 'd');
  ::mkdir(deep.c_str(), 0777);
  const DataFolderPaths paths = DataFolderFrom("", deep);
  SetupRecord record;
  WriteDefaultSetupIfMissing(record, paths);
  const std::string sample = paths.dataFolder + "/Sample_VANTRELIX.CSV";
  EXPECT_EQ(record.SourceFileName(), sample);
  EXPECT_EQ(record.Bytes()[0], 100) << "the record holds what fits";
  SetupRecord loaded;
  LoadSetup(loaded, paths.setupFileName);
  EXPECT_EQ(loaded.SourceFileName(), sample);
}

TEST(DefaultSetup, MissingParentFolderIsInvalidFilename) {
  TempDir dir;
  const DataFolderPaths paths = DataFolderFrom("", dir / "no/such");
  SetupRecord record;
  EXPECT_EQ(ErrorOf([&] { WriteDefaultSetupIfMissing(record, paths); }), "Invalid filename");
  EXPECT_EQ(record.Position(FieldSlot::kDate), 1) << "the defaults stay in memory";
  EXPECT_EQ(record.TimeDelimiter(), ':');
}

TEST(DefaultSetup, SharedDataFolderIsNeverCreated) {
  TempDir dir;
  const DataFolderPaths paths = DataFolderFrom(dir.Path(), dir / "documents");
  SetupRecord record;
  std::string said;
  try {
    WriteDefaultSetupIfMissing(record, paths);
  } catch (const EFileProblem& e) {
    said = e.what();
  }
  EXPECT_EQ(said, "The shared data folder " + paths.dataFolder +
                      " does not exist; the administrator creates it");
  EXPECT_EQ(testing::ListFolder(dir.Path()), "");
}

TEST(DefaultSetup, FolderInPlaceOfTheFileIsRefused) {
  TempDir dir;
  const DataFolderPaths paths = DataFolderFrom("", dir.Path());
  ::mkdir(paths.dataFolder.c_str(), 0777);
  ::mkdir(paths.setupFileName.c_str(), 0777);
  SetupRecord record;
  EXPECT_EQ(ErrorOf([&] { WriteDefaultSetupIfMissing(record, paths); }),
            "I/O error 267: a folder, not a file");
  EXPECT_EQ(ErrorOf([&] { LoadSetup(record, paths.setupFileName); }),
            "I/O error 267: a folder, not a file");
  EXPECT_EQ(testing::ListFolder(paths.dataFolder), "VANTRELIX_SU.DAT") << "no temporary file left";
}

TEST(LoadSetup, SizesOfTheFile) {
  struct Case {
    size_t size;
    std::string error;
    size_t bytesLoaded;
  };
  for (const Case& c :
       {Case{0, "Read beyond end of file", 0}, Case{151, "Read beyond end of file", 151},
        Case{152, "", 152}, Case{200, "", 152}, Case{1 << 20, "", 152}}) {
    TempDir dir;
    std::string bytes;
    for (size_t i = 0; i < c.size; ++i) bytes.push_back(static_cast<char>(i * 7 + 1));
    WriteFile(dir / "s.dat", bytes);
    SetupRecord record;
    EXPECT_EQ(ErrorOf([&] { LoadSetup(record, dir / "s.dat"); }), c.error) << c.size;
    std::string expected = bytes.substr(0, c.bytesLoaded);
    expected.resize(152, '\0');
    EXPECT_EQ(ImageText(record), expected) << c.size;
  }
}

TEST(LoadSetup, ShortFileKeepsTheRestOfTheImage) {
  TempDir dir;
  WriteFile(dir / "s.dat",
            "\x03"
            "abc");
  SetupRecord record;
  record.SetTimeLayout(7);
  EXPECT_EQ(ErrorOf([&] { LoadSetup(record, dir / "s.dat"); }), "Read beyond end of file");
  EXPECT_EQ(record.SourceFileName(), "abc");
  EXPECT_EQ(record.TimeLayout(), 7);
}

TEST(LoadSetup, MissingFileIsFileNotFound) {
  TempDir dir;
  SetupRecord record;
  EXPECT_EQ(ErrorOf([&] { LoadSetup(record, dir / "none.dat"); }), "File not found");
}

TEST(LoadSetup, ReadOnlyFileIsAccessDenied) {
  TempDir dir;
  ::chmod(dir.Path().c_str(), 0755);
  WriteFile(dir / "s.dat", std::string(152, 'r'));
  ::chmod((dir / "s.dat").c_str(), 0444);
  const std::string result = testing::RunUnprivileged([&] {
    SetupRecord record;
    return ErrorOf([&] { LoadSetup(record, dir / "s.dat"); }) + "|" +
           std::to_string(record.Bytes()[0]);
  });
  EXPECT_EQ(result, "File access denied|0") << "the record keeps what it held";
}

TEST(SaveSetup, ReadOnlyFileIsAccessDeniedAndKept) {
  TempDir dir;
  ::chmod(dir.Path().c_str(), 0777);
  WriteFile(dir / "s.dat", std::string(152, 'r'));
  ::chmod((dir / "s.dat").c_str(), 0444);
  const std::string result = testing::RunUnprivileged([&] {
    SetupRecord record;
    return ErrorOf([&] { SaveSetup(record, dir / "s.dat"); });
  });
  EXPECT_EQ(result, "File access denied");
  EXPECT_EQ(ReadFile(dir / "s.dat"), std::string(152, 'r'));
}

TEST(SetupRecord, RoundTripKeepsFillerAndStaleNameBytes) {
  TempDir dir;
  std::string bytes;
  for (int i = 0; i < 152; ++i) bytes.push_back(static_cast<char>(255 - i));
  bytes[0] = 30;
  WriteFile(dir / "in.dat", bytes);
  SetupRecord record;
  LoadSetup(record, dir / "in.dat");
  SaveSetup(record, dir / "out.dat");
  EXPECT_EQ(ReadFile(dir / "out.dat"), bytes);

  record.SetSourceFileName("0123456789");
  SaveSetup(record, dir / "out.dat");
  const std::string shortened = ReadFile(dir / "out.dat");
  EXPECT_EQ(shortened[0], 10);
  EXPECT_EQ(shortened.substr(1, 10), "0123456789");
  EXPECT_EQ(shortened.substr(11), bytes.substr(11)) << "old name bytes stay behind the new name";
}

// The settings after the 152 bytes: what an older program reads of them, and
// what this one makes of the files an older one wrote.
TEST(SetupExtension, OlderAndNewerReadersAgree) {
  TempDir dir;
  const std::string longName = "/mnt/share/" + std::string(135, 'p') + "/x.csv";
  ASSERT_EQ(longName.size(), 152u);
  SetupRecord record;
  FillDefaultSetup(record, DataFolderFrom("", dir.Path()));
  const std::string plain = ImageText(record);
  SaveSetup(record, dir / "plain.dat");
  EXPECT_EQ(ReadFile(dir / "plain.dat"), plain) << "nothing new set: the file stays 152 bytes";

  record.SetSourceFileName(longName);
  record.SetDelimiter(FieldDelimiter::kSemicolon);
  record.laterEntries = {std::string("\x09\x00\x02\x00\x00\x00zz", 8)};  // a later version's
  SaveSetup(record, dir / "new.dat");
  const std::string bytes = ReadFile(dir / "new.dat");
  ASSERT_GT(bytes.size(), 152u);
  EXPECT_EQ(bytes.substr(0, 152), ImageText(record)) << "an older program reads the record";
  EXPECT_EQ(bytes.substr(1, 100), longName.substr(0, 100)) << "and fails on a name that is cut";
  EXPECT_EQ(bytes.substr(152, 4), "VXEX");

  SetupRecord loaded;
  LoadSetup(loaded, dir / "new.dat");
  EXPECT_TRUE(loaded.SameSettings(record));
  EXPECT_EQ(loaded.SourceFileName(), longName);
  EXPECT_EQ(loaded.Delimiter(), FieldDelimiter::kSemicolon);
  SaveSetup(loaded, dir / "again.dat");
  EXPECT_EQ(ReadFile(dir / "again.dat"), bytes) << "a later version's entry is kept";

  // An older program saved its own name over the record: the record's wins.
  std::string older = bytes;
  older[0] = 5;
  older.replace(1, 5, "/a/b!");
  WriteFile(dir / "older.dat", older);
  LoadSetup(loaded, dir / "older.dat");
  EXPECT_EQ(loaded.SourceFileName(), "/a/b!");
  WriteFile(dir / "cut.dat", bytes.substr(0, 152));  // what an older program writes back
  LoadSetup(loaded, dir / "cut.dat");
  EXPECT_EQ(loaded.Delimiter(), FieldDelimiter::kCommaOrTab);
  EXPECT_EQ(loaded.SourceFileName(), longName.substr(0, 100));

  // A name the extension cannot hold is refused, not stored unreadable.
  loaded.SetSourceFileName("/" + std::string(5000, 'n'));
  std::string refused;
  try {
    SaveSetup(loaded, dir / "cut.dat");
  } catch (const EFileProblem& e) {
    refused = e.what();
  }
  EXPECT_EQ(refused, "The source file name is longer than 4096 bytes");
  EXPECT_EQ(ReadFile(dir / "cut.dat"), bytes.substr(0, 152)) << "the stored settings stay";
}

TEST(SetupExtension, DamageIsNamedNeverRead) {
  const auto header = [](uint16_t version, uint32_t size) {
    std::string h = "VXEX";
    h += static_cast<char>(version & 0xFF);
    h += static_cast<char>(version >> 8);
    for (int i = 0; i < 4; ++i) h += static_cast<char>(size >> (8 * i) & 0xFF);
    return h;
  };
  const auto entry = [](uint16_t type, std::string data) {
    std::string e{static_cast<char>(type), '\0'};
    for (int i = 0; i < 4; ++i) e += static_cast<char>(data.size() >> (8 * i) & 0xFF);
    return e + data;
  };
  struct Case {
    const char* name;
    std::string extension;
    std::string why;  // empty: loads
  };
  const std::string semicolon = entry(1, "\x03");
  const std::string shortName = entry(2, std::string(60, 'n'));
  const Case cases[] = {
      {"not our tag", "VXE!junk", ""},
      {"a later version", header(7, 7) + semicolon, ""},
      {"header cut", "VXEX\x01", "its header is cut short"},
      {"version 0", header(0, 7) + semicolon, "version 0"},
      {"no entries", header(1, 0), "it announces 0 bytes of settings"},
      {"a gigabyte announced", header(1, 1u << 30), "it announces 1073741824 bytes of settings"},
      {"entries cut", header(1, 7) + semicolon.substr(0, 5), "it ends before its settings do"},
      {"entry longer than the entries", header(1, 7) + entry(1, "\x03\x03").substr(0, 7),
       "a setting is cut short"},
      {"delimiter out of the list", header(1, 7) + entry(1, "\x05"), "the field delimiter"},
      {"delimiter twice", header(1, 14) + semicolon + semicolon, "the field delimiter"},
      {"a name that fits the record", header(1, 66) + shortName, "the source file name"},
      {"a name with a NUL", header(1, 206) + entry(2, std::string(199, 'n') + '\0'),
       "the source file name"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    WriteFile(dir / "s.dat", std::string(152, '\0') + c.extension);
    SetupRecord record;
    std::string error;
    try {
      LoadSetup(record, dir / "s.dat");
    } catch (const EFileProblem& e) {
      error = e.what();
      EXPECT_EQ(e.Path(), dir / "s.dat") << c.name;
    }
    EXPECT_EQ(error, c.why.empty() ? "" : "The settings file's extension is damaged: " + c.why)
        << c.name;
  }
}

TEST(SetupRecord, FieldsAtTheirOffsetsLittleEndian) {
  SetupRecord r;
  r.SetPosition(FieldSlot::kEmail, -2);
  r.SetDateLayout(0x01020304);
  r.SetSkipFirstLine(2);
  r.SetDateDelimiter('-');
  r.SetTimeDelimiter('.');
  const auto& b = r.Bytes();
  EXPECT_EQ(b[128], 0xFE);
  EXPECT_EQ(b[131], 0xFF);
  EXPECT_EQ(b[136], 0x04);
  EXPECT_EQ(b[139], 0x01);
  EXPECT_EQ(b[132], 2);
  EXPECT_FALSE(r.HasHeaderLine()) << "only 1 marks a header";
  EXPECT_EQ(b[140], '-');
  EXPECT_EQ(b[148], '.');
  EXPECT_EQ(r.Position(FieldSlot::kEmail), -2);
}

TEST(SetupRecord, LengthByteAbove100IsCutAt100) {
  SetupRecord r;
  r.Bytes()[0] = 250;
  for (size_t i = 1; i < SetupRecord::kSize; ++i) r.Bytes()[i] = 'n';
  EXPECT_EQ(r.SourceFileName(), std::string(100, 'n'));
  r.SetSourceFileName(std::string(120, 'x'));
  EXPECT_EQ(r.Bytes()[0], 100);
  EXPECT_EQ(r.Bytes()[101], 'n') << "filler untouched";
}

TEST(SaveSetup, DiskFullKeepsThePreviousFile) {
  TempDir dir;
  testing::SmallDisk disk(dir / "disk");
  if (!disk.Mounted()) VANTRELIX_SKIP(disk.Why());
  const std::string file = dir / "disk/VANTRELIX_SU.DAT";
  WriteFile(file, std::string(152, 'p'));
  disk.Fill();
  SetupRecord record;
  EXPECT_EQ(ErrorOf([&] { SaveSetup(record, file); }), "Disk full");
  EXPECT_EQ(ReadFile(file), std::string(152, 'p'));
  EXPECT_EQ(testing::ListFolder(dir / "disk"), ".ballast VANTRELIX_SU.DAT");
}

TEST(SaveSetup, DeviceIsRefused) {
  SetupRecord record;
  // Never replaced, not even by root. Root tries it on a node of its own
  // (of /dev/full's kind), so that a fault cannot cost the machine its /dev.
  TempDir dir;
  const std::string device =
      ::geteuid() == 0 && ::mknod((dir / "full").c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0
          ? dir / "full"
          : "/dev/full";
  EXPECT_EQ(ErrorOf([&] { SaveSetup(record, device); }), "Not a file on a disk: a device");
  struct stat st {};
  EXPECT_TRUE(::stat(device.c_str(), &st) == 0 && S_ISCHR(st.st_mode));
}

TEST(SaveSetup, ReplacementKeepsPermissionBits) {
  TempDir dir;
  WriteFile(dir / "s.dat", "old");
  ::chmod((dir / "s.dat").c_str(), 0640);
  SaveSetup(SetupRecord{}, dir / "s.dat");
  struct stat st {};
  ::stat((dir / "s.dat").c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  const mode_t old = ::umask(022);
  SaveSetup(SetupRecord{}, dir / "new.dat");
  ::umask(old);
  ::stat((dir / "new.dat").c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0644u) << "a plain create, not a temporary file's 0600";
}

TEST(DataFolder, PrefersTheSharedDocumentsFolder) {
  EXPECT_EQ(DataFolderFrom("/srv/docs", "/home/u/Documents").dataFolder, "/srv/docs/TOLV_7_Data");
  EXPECT_EQ(DataFolderFrom("", "/home/u/Documents").dataFolder, "/home/u/Documents/TOLV_7_Data");
  EXPECT_EQ(DataFolderFrom("", "").dataFolder, "/TOLV_7_Data");
  EXPECT_EQ(DataFolderFrom("", "").setupFileName, "/TOLV_7_Data/VANTRELIX_SU.DAT");
}

TEST(SpecialFolderPath, CommonDocumentsFromTheEnvironment) {
  {
    testing::ScopedEnv env(kCommonDocumentsVariable, "/srv/clinic");
    EXPECT_EQ(SpecialFolderPath(12), "/srv/clinic");
  }
  {
    testing::ScopedEnv env(kCommonDocumentsVariable, "");
    EXPECT_EQ(SpecialFolderPath(12), "");
  }
  testing::ScopedEnv env(kCommonDocumentsVariable, nullptr);
  EXPECT_EQ(SpecialFolderPath(12), "");
  EXPECT_EQ(SpecialFolderPath(99), "");
  EXPECT_EQ(SpecialFolderPath(-1), "");
}

TEST(SpecialFolderPath, UserDocumentsFollowXdg) {
  TempDir home;
  testing::ScopedEnv h("HOME", home.Path().c_str());
  testing::ScopedEnv x("XDG_CONFIG_HOME", (home / ".config").c_str());
  EXPECT_EQ(SpecialFolderPath(0), home / "Documents");
  EXPECT_TRUE(FolderExists(home / "Documents")) << "a fresh account gets its documents folder";

  ::mkdir((home / ".config").c_str(), 0700);
  WriteFile(home / ".config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Docs/Work\"\n");
  EXPECT_EQ(SpecialFolderPath(0), home / "Docs/Work");
  EXPECT_FALSE(testing::PathExists(home / "Docs")) << "only the last level is created";

  testing::ScopedEnv gone("HOME", (home / "gone").c_str());
  testing::ScopedEnv noConfig("XDG_CONFIG_HOME", (home / "gone/.config").c_str());
  EXPECT_EQ(SpecialFolderPath(0), home / "gone/Documents");
  EXPECT_FALSE(testing::PathExists(home / "gone")) << "a missing home stays missing";
}

struct ErrnoCase {
  int err;
  bool missingParent;
  int code;
  const char* message;
};

TEST(InOutError, ErrnoTable) {
  const ErrnoCase cases[] = {
      {ENOENT, false, 2, "File not found"},
      {ENOENT, true, 3, "Invalid filename"},
      {ENOTDIR, false, 3, "Invalid filename"},
      {EMFILE, false, 4, "Too many open files"},
      {ENFILE, false, 4, "Too many open files"},
      {EACCES, false, 5, "File access denied"},
      {EPERM, false, 5, "File access denied"},
      {ENOSPC, false, 101, "Disk full"},
      {EROFS, false, 19, "I/O error 19: the file system is read-only"},
      {EISDIR, false, 267, "I/O error 267: a folder, not a file"},
      {ENOMEM, false, 8, "I/O error 8: not enough memory"},
      {EDQUOT, false, 101, "Disk full"},
      {EIO, false, 31, "I/O error 31"},
      {ETXTBSY, false, 32, "I/O error 32"},
      {ENAMETOOLONG, false, 206, "I/O error 206"},
  };
  TempDir dir;
  for (const ErrnoCase& c : cases) {
    const std::string path = c.missingParent ? dir / "gone/file" : dir / "file";
    EXPECT_EQ(IoCodeFromErrno(c.err, path), c.code) << c.err;
    EXPECT_EQ(EInOutError(IoCodeFromErrno(c.err, path)).what(), std::string(c.message)) << c.err;
  }
  EXPECT_EQ(InOutErrorMessage(100), "Read beyond end of file");
  EXPECT_EQ(InOutErrorMessage(106), "Invalid numeric input");
}

TEST(InOutError, UnlistedErrnosNeverReadAsAListedCode) {
  const int listed[] = {io_code::kFileNotFound,     io_code::kPathNotFound,
                        io_code::kTooManyOpenFiles, io_code::kAccessDenied,
                        io_code::kNotEnoughMemory,  io_code::kWriteProtected,
                        io_code::kIsAFolder,        io_code::kReadBeyondEnd,
                        io_code::kDiskFull,         io_code::kInvalidNumericInput};
  for (int err = 1; err < 140; ++err) {
    const int code = IoCodeFromErrno(err);
    const bool expectedListed = err == ENOENT || err == ENOTDIR || err == EMFILE || err == ENFILE ||
                                err == EACCES || err == EPERM || err == ENOSPC || err == EDQUOT ||
                                err == ENOMEM || err == EROFS || err == EISDIR;
    if (expectedListed) continue;
    for (int l : listed) EXPECT_NE(code, l) << "errno " << err;
  }
}

}  // namespace
}  // namespace vantrelix
