#pragma once

#include <string_view>

namespace vantrelix {

// What the words of a header cell say of its column, in the languages clinics
// export in (English, German, French, Spanish, Dutch, Italian, Portuguese),
// accents, case, blanks and punctuation aside. The table itself is in
// header_words.cpp: one line per field, easy to extend.
struct HeadingMeaning {
  int field = -1;      // the FieldSlot it names; -1 for none
  int strength = 0;    // 2: names the field itself ("Appointment Date",
                       // "Treating Practitioner"); 1: a usual word for it;
                       // 0: a word for it inside a longer heading
  bool other = false;  // names a column that is none of the fields (date of
                       // birth, end, created, referring, ID): never taken
};

HeadingMeaning MeaningOfHeading(std::string_view heading);

}  // namespace vantrelix
