#include <gtest/gtest.h>

#include "column_proposal.h"
#include "layout_record.h"
#include "normalise.h"
#include "regional_locale.h"

namespace vantrelix {
namespace {

constexpr int kYear = 2026;

// Realistic exports: the columns each field is proposed at (name, phone,
// date, time, doctor, location, email), the header flag and the readings.
TEST(ColumnProposal, RealisticExports) {
  struct Case {
    const char* name;
    std::vector<std::string> lines;
    RegionalSettings regional;
    std::array<int32_t, kFieldSlotCount> columns;
    bool header;
    int32_t dateLayout;
    int32_t timeLayout;
    FieldDelimiter delimiter = FieldDelimiter::kCommaOrTab;
  };
  const Case cases[] = {
      {"header in an unusual order",
       {"Appt Date,Start Time,Provider,Patient Name,Cell,E-mail,Site",
        "12/05/2026,9:30 am,Dr. Lee,\"Roe, Jane\",555-123-4567,jane@example.org,North",
        "12/06/2026,2:15 pm,Dr. Kim,\"Poe, Ann\",555-765-4321,ann@example.org,South"},
       {},
       {4, 5, 1, 2, 3, 7, 6},
       true,
       kMonthFirstLayout,  // stated, not left to the locale of a later run
       0},
      {"tab-delimited, words of another product",
       {"Client\tTel\tAppointment Date\tAppt Time\tPhysician\tRoom\tEmail Address",
        "Jane Roe\t5551234567\t2026-12-05\t14:30\tLee\t3\tj@x.org"},
       testing::DayFirstSettings(),
       {1, 2, 3, 4, 5, 6, 7},
       true,
       1,
       0},
      {"no header: the shapes",
       {"\"Roe, Jane\",25/12/2026,0930am,Dr. Lee,(555) 123 4567,jane@example.org",
        "\"Poe, Ann\",4/7/2026,0215pm,Dr. Kim,(555) 765 4321,ann@example.org"},
       {},
       {1, 5, 2, 3, 4, 0, 6},
       false,
       5,
       6},
      {"the field selector's own headings",
       {"Patient Name,PhoneNo,Date of Appointment,Time of Appointment,Doctor,Location of "
        "Appointment,Email  Address (Optional Feature)",
        "Jane,555,7/4/2026,9:30 am,Lee,North,j@x.org"},
       {},
       {1, 2, 3, 4, 5, 6, 7},
       true,
       kMonthFirstLayout,
       0},
      {"an unknown heading falls back on the shape",
       {"Who,Wann,Dr,Notes", "Jane Roe,13.12.2026,Dr. Lee,x", "Ann Poe,14.12.2026,Dr. Kim,y"},
       {},
       {0, 0, 2, 0, 3, 0, 0},
       true,
       5,
       0},
      {"a European spreadsheet's semicolons, commas in the names",
       {"M\xc3\xbcller, Hans;030 1234567;14.12.2026;09:30;Dr. Weber;hans@example.de",
        "Schmidt, Eva;030 7654321;15.12.2026;14:00;Dr. Weber;eva@example.de",
        "Braun, Uwe;030 5551234;16.12.2026;08:15;Dr. Kurz;uwe@example.de"},
       testing::DayFirstSettings(),
       {1, 2, 3, 4, 5, 0, 6},
       false,
       5,
       0,
       FieldDelimiter::kSemicolon},
      {"a report writer's TABs with commas unquoted",
       {"patient\tphone\tdate\ttime\tdoctor\tlocation\temail",
        "Alves, Olga\t555-0101\t2026-12-14\t09:30:00\tDr. Lee\tNorth\to@x.org",
        "Baker, Tom\t555-0102\t2026-12-14\t10:00:00\tDr. Lee\tNorth\tt@x.org"},
       {},
       {1, 2, 3, 4, 5, 6, 7},
       true,
       1,
       0,
       FieldDelimiter::kTab},
      {"database output separated by pipes",
       {"Roe, Jane|555-123-4567|12/14/2026|9:30 am|Dr. Lee|North|j@x.org",
        "Poe, Ann|555-765-4321|12/15/2026|2:15 pm|Dr. Kim|South|a@x.org"},
       {},
       {1, 2, 3, 4, 5, 6, 7},
       false,
       kMonthFirstLayout,
       0,
       FieldDelimiter::kPipe},
      {"a calendar's words: Subject, End Time, Description",
       {"Subject,Start Date,Start Time,End Date,End Time,Location,Description",
        "Jane Roe,12/14/2026,9:30 AM,12/14/2026,10:00 AM,Main St Clinic,Bring X-rays",
        "Ann Poe,12/15/2026,2:15 PM,12/15/2026,2:45 PM,Main St Clinic,Check-up"},
       {},
       {1, 0, 2, 3, 0, 6, 0},
       true,
       kMonthFirstLayout,
       0},
      {"Spanish words",
       {"Fecha,Hora Inicio,Empleado,Cliente,Tel\xc3\xa9"
        "fono",
        "14/12/2026,09:30,Dra. Ruiz,Olga Alves,612 345 678",
        "15/12/2026,16:00,Dra. Ruiz,Juan P\xc3\xa9rez,612 345 679"},
       testing::DayFirstSettings(),
       {4, 5, 1, 2, 3, 0, 0},
       true,
       kDayFirstLayout,
       0},
      {"treating over referring, the appointment over birth and end",
       {"Patient Name,DOB,Referring Physician,Treating Practitioner,Appointment Date,Start "
        "Time,End Time,Phone,Praxis",
        "Jane Roe,04/23/1961,Dr. Hill,Dr. Lee,12/14/2026,9:30 AM,10:00 AM,555-123-4567,North",
        "Ann Poe,11/02/1980,Dr. Hill,Dr. Kim,12/15/2026,2:15 PM,2:45 PM,555-765-4321,South"},
       {},
       {1, 8, 5, 6, 4, 9, 0},
       true,
       kMonthFirstLayout,
       0},
      {"a heading over values of another field: the values decide",
       {"Name,phone_cell,Phone,Date,Time", "Roe,Jane,555-123-4567,12/14/2026,9:30 am",
        "Poe,Ann,555-765-4321,12/15/2026,2:15 pm"},
       {},
       {1, 3, 4, 5, 0, 0, 0},
       true,
       kMonthFirstLayout,
       0},
      {"no header: a place is no patient, notes are no place",
       {"\"Main St Clinic\",Jane Roe,12/14/2026,9:30 am,555-123-4567,Bring the referral letter "
        "please",
        "\"Suite 400 Downtown\",Ann Poe,12/15/2026,2:15 pm,555-765-4321,Fasting since midnight "
        "before"},
       {},
       {2, 5, 3, 4, 0, 1, 0},
       false,
       kMonthFirstLayout,
       0},
      {"no header: the latest dates are the appointment's, not the day it was booked",
       {"Jane Roe,11/02/2026,12/14/2026,9:30 am,555-123-4567",
        "Ann Poe,11/03/2026,12/15/2026,2:15 pm,555-765-4321"},
       {},
       {1, 5, 3, 4, 0, 0, 0},
       false,
       kMonthFirstLayout,
       0},
      {"a location named after its doctor is not the doctor's column too",
       {"Patient,Date,Time,Location", "Jane Roe,12/14/2026,9:30 am,Dr. Lee Clinic",
        "Ann Poe,12/15/2026,2:15 pm,Dr. Kim Clinic"},
       {},
       {1, 0, 2, 3, 0, 4, 0},
       true,
       kMonthFirstLayout,
       0},
      {"no header: a column half of e-mail addresses is no e-mail column",
       {"Jane Roe,12/14/2026,9:30 am,by phone", "Ann Poe,12/15/2026,2:15 pm,ann@example.org",
        "Jo Doe,12/16/2026,4:00 pm,by phone"},
       {},
       {1, 0, 2, 3, 0, 4, 0},
       false,
       kMonthFirstLayout,
       0},
      {"no header: handles that begin with @ are no e-mail addresses",
       {"Jane Roe,12/14/2026,9:30 am,@jane.roe", "Ann Poe,12/15/2026,2:15 pm,@ann.poe"},
       {},
       {1, 0, 2, 3, 0, 4, 0},
       false,
       kMonthFirstLayout,
       0},
      {"a field's own word beside \"patient\" names that field: the patient's clinic is the "
       "location",
       {"Patient,Phone,Date,Time,Patient Clinic",
        "Jane Roe,555-123-4567,12/14/2026,9:30 am,North Clinic",
        "Ann Poe,555-765-4321,12/15/2026,2:15 pm,South Clinic"},
       {},
       {1, 2, 3, 4, 0, 5, 0},
       true,
       kMonthFirstLayout,
       0},
      {"one line only is never taken for a header, whatever words it holds",
       {"Jane Roe,12/14/2026,9:30 am,Main Street Clinic,jane@mail.com"},
       {},
       {0, 0, 0, 0, 0, 0, 0},
       false,
       0,
       0},
      {"TABs only: the delimiter every settings file means",
       {"Jane Roe\t555-123-4567\t12/14/2026\t9:30 am",
        "Ann Poe\t555-765-4321\t12/15/2026\t2:15 pm"},
       {},
       {1, 2, 3, 4, 0, 0, 0},
       false,
       kMonthFirstLayout,
       0},
  };
  for (const Case& c : cases) {
    const ColumnProposal p =
        ProposeColumns(c.lines, testing::LayoutRecord(0, '/'), c.regional, kYear);
    for (int f = 0; f < kFieldSlotCount; ++f) {
      EXPECT_EQ(p.fields[static_cast<size_t>(f)].column, c.columns[static_cast<size_t>(f)])
          << c.name << ": field " << f << " (" << p.fields[static_cast<size_t>(f)].why << ")";
    }
    EXPECT_EQ(p.firstLineIsHeader, c.header) << c.name;
    EXPECT_EQ(p.dateLayout, c.dateLayout) << c.name;
    EXPECT_EQ(p.timeLayout, c.timeLayout) << c.name;
    EXPECT_EQ(p.delimiter, c.delimiter) << c.name;
  }
  const ColumnProposal firstNames =
      ProposeColumns({"Name\tphone_cell\tDate\tTime", "Roe\tJane\t12/14/2026\t9:30 am",
                      "Poe\tAnn\t12/15/2026\t2:15 pm"},
                     testing::LayoutRecord(0, '/'), {}, kYear);
  EXPECT_EQ(firstNames.fields[1].column, 0);
  EXPECT_EQ(firstNames.fields[1].why, "header 'phone_cell', but its values look like names");
}

// Exports in several styles, each also without its header: with the header
// every field maps right; without it at least six of the seven do, and a
// date column never goes to the time field or the reverse.
TEST(ColumnProposal, HeaderStylesAndTheSameExportsWithoutThem) {
  struct Case {
    const char* name;
    std::vector<std::string> lines;
    std::array<int32_t, kFieldSlotCount> columns;
  };
  const Case cases[] = {
      {"a practice system's export",
       {"PATIENT,TELEPHONE,APPT DATE,APPT TIME,PROVIDER,OFFICE,EMAIL ADDRESS,Notes",
        "\"Roe, Jane\",(555) 123-4567,12/05/2026,09:30 AM,Dr. Lee,North,jane@example.org,",
        "\"Poe, Ann\",(555) 765-4321,12/14/2026,02:15 PM,Dr. Kim,South,ann@example.org,new",
        "\"Doe, Jo\",(555) 765-4000,1/3/2027,11:00 AM,Dr. Kim,North,jo@example.org,"},
       {1, 2, 3, 4, 5, 6, 7}},
      {"columns in another order, TAB, extra columns",
       {"ID\tStart\tDate\tClient Name\tStaff\tMobile\tE-Mail\tRoom",
        "17\t14:30\t2026-12-05\tJane Roe\tDr Lee\t0412 345 678\tj@x.org\tRoom 3",
        "18\t09:05\t2026-12-24\tAnn Poe\tDr Kim\t0412 345 679\ta@x.org\tRoom 1"},
       {4, 6, 3, 2, 5, 8, 7}},
      {"names of another vendor",
       {"appointment_date,start_time,patient_name,phone_no,practitioner,site,email",
        "25.12.2026,0930,\"Roe, Jane\",5551234567,Dr. Lee,Main,j@x.org",
        "04.01.2027,1415,\"Poe, Ann\",5551234568,Dr. Kim,Annex,a@x.org"},
       {3, 4, 1, 2, 5, 6, 7}},
  };
  for (const Case& c : cases) {
    const SetupRecord none = testing::LayoutRecord(0, '/');
    const ColumnProposal with = ProposeColumns(c.lines, none, {}, kYear);
    EXPECT_TRUE(with.firstLineIsHeader) << c.name;
    std::vector<std::string> data(c.lines.begin() + 1, c.lines.end());
    const ColumnProposal without = ProposeColumns(data, none, {}, kYear);
    EXPECT_FALSE(without.firstLineIsHeader) << c.name;
    int right = 0;
    for (int f = 0; f < kFieldSlotCount; ++f) {
      const auto i = static_cast<size_t>(f);
      EXPECT_EQ(with.fields[i].column, c.columns[i]) << c.name << ": field " << f;
      right += without.fields[i].column == c.columns[i];
    }
    EXPECT_GE(right, 6) << c.name << " without its header";
    const auto date = static_cast<size_t>(FieldSlot::kDate);
    const auto time = static_cast<size_t>(FieldSlot::kTime);
    EXPECT_NE(without.fields[date].column, c.columns[time]) << c.name;
    EXPECT_NE(without.fields[time].column, c.columns[date]) << c.name;
  }
}

// The order of day and month: stated, taken from the export where it can be,
// and called a guess only where no date of the export tells it.
TEST(ColumnProposal, OrderOfTheDates) {
  struct Case {
    const char* name;
    std::vector<std::string> lines;
    const char* locale;
    int32_t dateLayout;
    bool guessed;
  };
  const Case cases[] = {
      {"a UK week under en_US",
       {"Patient,Date,Time", "Ann,07/12/2026,9:30", "Bo,08/12/2026,9:45"},
       "en_US",
       kMonthFirstLayout,
       true},
      {"the same with a date of birth",
       {"Patient,Date,Time,DOB", "Ann,07/12/2026,9:30,23/04/1961", "Bo,08/12/2026,9:45,1/2/1980"},
       "en_US",
       kDayFirstLayout,
       false},
      {"dotted times with seconds are no dates of birth",
       {"Patient,Date,Time", "Ann,01/12/2026,9.30.00", "Bo,02/12/2026,10.15.00"},
       "en_GB",
       kDayFirstLayout,
       true},
      {"an ISO week is no guess",
       {"Patient,Date,Time", "Ann,2026-12-01,9:30", "Bo,2026-12-02,9:45"},
       "en_US",
       1,
       false},
      {"dd-mm-yy read nearest now",
       {"Patient,Date,Time", "Ann,28-12-26,9:30", "Bo,05-01-27,9:45", "Cy,17-01-27,9:50"},
       "C",
       kDayFirstLayout,
       false},
      {"ddmmyy, which no layout reads",
       {"Patient,Date,Time", "Ann,281226,9:30", "Bo,050127,9:45"},
       "C",
       4,
       true},
  };
  for (const Case& c : cases) {
    const ColumnProposal p = ProposeColumns(c.lines, testing::LayoutRecord(0, '/'),
                                            RegionalSettingsFromLocale(QLocale(c.locale)), kYear);
    EXPECT_EQ(p.dateLayout, c.dateLayout) << c.name << ": " << p.dateOrderNote;
    EXPECT_EQ(p.dateOrderGuessed, c.guessed) << c.name << ": " << p.dateOrderNote;
  }
}

TEST(ColumnProposal, SaysWhereEachFieldCameFromAndApplies) {
  const std::vector<std::string> lines = {"Appt Date,Notes", "4/7/2026,x", "25/12/2026,y"};
  const ColumnProposal p = ProposeColumns(lines, testing::LayoutRecord(0, '/'), {}, kYear);
  EXPECT_EQ(p.fields[static_cast<size_t>(FieldSlot::kDate)].why, "header 'Appt Date'");
  EXPECT_EQ(p.dateLayout, kDayFirstLayout);
  SetupRecord r;
  EXPECT_FALSE(p.SameAs(r));
  p.ApplyTo(r);
  EXPECT_TRUE(p.SameAs(r));
  EXPECT_EQ(r.Position(FieldSlot::kDate), 1);
  EXPECT_EQ(r.Position(FieldSlot::kName), 0);
  EXPECT_EQ(r.SkipFirstLine(), 1);
  EXPECT_EQ(r.DateLayout(), kDayFirstLayout);
  EXPECT_EQ(ProposeColumns({}, r, {}, kYear).fields[0].column, 0);
}

}  // namespace
}  // namespace vantrelix
