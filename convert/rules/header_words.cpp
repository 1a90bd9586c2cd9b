#include "header_words.h"

#include <QString>

#include <array>
#include <string>
#include <vector>

namespace vantrelix {

namespace {

// Headings as written, folded: lower case, accents left out, every blank and
// punctuation mark gone. In FieldSlot order: name, phone, date, time,
// doctor, location, e-mail. The first list of each names the field itself
// and wins over the second where two columns claim one field.
struct FieldWords {
  std::vector<std::string_view> primary, usual;
};
const std::array<FieldWords, 7> kFieldWords = {{
    {{"patient", "patientname", "patientfullname", "nameofpatient", "clientname", "customername",
      "inviteename", "patientenname", "nomdupatient", "nompatient", "nombredelpaciente",
      "nombrepaciente", "patientnaam", "naampatient", "nomedelpaziente", "nomepaziente",
      "nomedopaciente", "nomepaciente"},
     {"name",     "fullname", "client", "customer",  "subject",  "title",      "invitee",
      "attendee", "kunde",    "klient", "patientin", "nom",      "nomcomplet", "paciente",
      "nombre",   "cliente",  "naam",   "klant",     "paziente", "nome",       "nomecompleto"}},
    {{"phone", "phonenumber", "telephone", "telephonenumber", "mobilephone", "cellphone"},
     {"tel",           "mobile",
      "cell",          "phoneno",
      "telephoneno",   "mobileno",
      "contactnumber", "telefon",
      "telefonnummer", "handy",
      "mobil",         "mobilnummer",
      "portable",      "numerodetelephone",
      "telefono",      "movil",
      "celular",       "numerodetelefono",
      "telefoon",      "telefoonnummer",
      "mobiel",        "cellulare",
      "telemovel",     "telefone"}},
    {{"appointmentdate", "apptdate", "dateofappointment", "startdate", "bookingdate", "termindatum",
      "datumdestermins", "datedurendezvous", "daterdv", "fechadelacita", "fechacita",
      "afspraakdatum", "datadellappuntamento", "dataappuntamento", "datadaconsulta",
      "dataconsulta"},
     {"date", "day", "datum", "termin", "jour", "fecha", "dia", "data", "giorno", "rendezvous",
      "cita", "afspraak", "appuntamento", "consulta", "when"}},
    {{"appointmenttime", "appttime",     "starttime",  "timeofappointment", "start",
      "begin",           "startzeit",    "terminzeit", "uhrzeitdestermins", "heuredurendezvous",
      "heuredebut",      "horadelacita", "horainicio", "horadeinicio",      "begintijd",
      "aanvangstijd",    "oradiinizio",  "orainizio",  "horadaconsulta",    "horainicial"},
     {"time", "uhrzeit", "zeit", "beginn", "heure", "debut", "hora", "inicio", "tijd", "aanvang",
      "ora", "orario", "horario"}},
    {{"doctor", "provider", "practitioner", "physician", "treatingpractitioner",
      "treatingphysician", "treatingdoctor", "attendingphysician", "behandelnderarzt",
      "medecintraitant", "medicotratante", "behandelendarts", "medicocurante"},
     {"dr",        "resource",    "staff",       "employee",    "calendar",     "clinician",
      "therapist", "dentist",     "hygienist",   "arzt",        "arztin",       "behandler",
      "therapeut", "zahnarzt",    "mitarbeiter", "medecin",     "praticien",    "docteur",
      "medico",    "doctora",     "empleado",    "profesional", "especialista", "dottore",
      "arts",      "behandelaar", "tandarts",    "medewerker",  "profissional"}},
    {{"location", "locationofappointment", "clinic", "site", "office", "facility"},
     {"room",      "branch",   "premises", "place",     "venue",       "practice",
      "ort",       "praxis",   "standort", "raum",      "filiale",     "lieu",
      "cabinet",   "salle",    "clinique", "ubicacion", "sede",        "consultorio",
      "clinica",   "sala",     "lugar",    "luogo",     "ambulatorio", "locatie",
      "vestiging", "praktijk", "kamer",    "local",     "unidade"}},
    {{"email", "emailaddress", "emailaddressoptionalfeature"},
     {"mail", "correo", "correoelectronico", "courriel", "adressemail", "adresseemail",
      "indirizzoemail", "emailadres", "posta"}},
}};

// Parts of a longer heading word that tell the field.
const std::array<std::vector<std::string_view>, 7> kInside = {{
    {"name", "patient", "paciente", "kunde"},
    {"phone", "telefon", "mobil", "movil", "celular"},
    {"date", "datum", "fecha"},
    {"time", "zeit", "heure", "hora"},
    {"doctor", "arzt", "medecin", "medico", "physician", "practitioner"},
    {"location", "standort", "praxis", "clinic", "klinik"},
    {"mail"},
}};

// Words of a heading that names something else: a date of birth, the end or
// length of the appointment, when the entry was made, the referring doctor,
// an identifier. Any of them in a heading keeps its column out.
const std::vector<std::string_view> kOtherWords = {"dob",
                                                   "birth",
                                                   "birthday",
                                                   "born",
                                                   "birthdate",
                                                   "dateofbirth",
                                                   "geburt",
                                                   "geburtsdatum",
                                                   "geburtstag",
                                                   "naissance",
                                                   "datedenaissance",
                                                   "nacimiento",
                                                   "fechadenacimiento",
                                                   "nascita",
                                                   "datadinascita",
                                                   "geboorte",
                                                   "geboortedatum",
                                                   "nascimento",
                                                   "datadenascimento",
                                                   "age",
                                                   "alter",
                                                   "created",
                                                   "creation",
                                                   "booked",
                                                   "entered",
                                                   "modified",
                                                   "updated",
                                                   "changed",
                                                   "erstellt",
                                                   "angelegt",
                                                   "geandert",
                                                   "cree",
                                                   "creado",
                                                   "aangemaakt",
                                                   "end",
                                                   "ends",
                                                   "finish",
                                                   "until",
                                                   "duration",
                                                   "length",
                                                   "ende",
                                                   "bis",
                                                   "dauer",
                                                   "fin",
                                                   "duree",
                                                   "duracion",
                                                   "eind",
                                                   "einde",
                                                   "duur",
                                                   "fine",
                                                   "durata",
                                                   "termino",
                                                   "duracao",
                                                   "referring",
                                                   "referral",
                                                   "referrer",
                                                   "referredby",
                                                   "uberweiser",
                                                   "zuweiser",
                                                   "adresseur",
                                                   "remitente",
                                                   "verwijzer",
                                                   "id",
                                                   "mrn",
                                                   "uid",
                                                   "guid",
                                                   "chart",
                                                   "recordnumber",
                                                   "accountnumber",
                                                   "studentid",
                                                   "patientid",
                                                   "insurance",
                                                   "versicherung",
                                                   "fee",
                                                   "price",
                                                   "amount",
                                                   "cost",
                                                   "status",
                                                   "note",
                                                   "notes",
                                                   "comment",
                                                   "comments",
                                                   "description",
                                                   "remarks",
                                                   "bemerkung",
                                                   "notiz",
                                                   "remarque",
                                                   "nota",
                                                   "notas",
                                                   "opmerking",
                                                   "reason",
                                                   "grund",
                                                   "motif",
                                                   "motivo"};

// Lower-case ASCII words of a heading: accents left out (é, ü, ñ), split at
// blanks, punctuation and a change to a capital ("patientName").
std::vector<std::string> Words(std::string_view heading) {
  const QString text = QString::fromUtf8(heading.data(), static_cast<qsizetype>(heading.size()))
                           .normalized(QString::NormalizationForm_KD);
  std::vector<std::string> words(1);
  QChar previous;
  for (QChar c : text) {
    if (c.isMark()) continue;
    const bool letter = c.isLetter() && c.unicode() < 0x80;
    const bool digit = c.isDigit() && c.unicode() < 0x80;
    const bool newWord = c.isUpper() && previous.isLower();
    if (letter || digit) {
      if (newWord && !words.back().empty()) words.emplace_back();
      words.back().push_back(static_cast<char>(c.toLower().unicode()));
    } else if (c == u'\u00df') {
      words.back() += "ss";
    } else if (!words.back().empty()) {
      words.emplace_back();
    }
    previous = c;
  }
  if (words.back().empty()) words.pop_back();
  return words;
}

bool In(const std::vector<std::string_view>& list, std::string_view word) {
  for (std::string_view w : list) {
    if (w == word) return true;
  }
  return false;
}

}  // namespace

HeadingMeaning MeaningOfHeading(std::string_view heading) {
  HeadingMeaning m;
  const std::vector<std::string> words = Words(heading);
  std::string joined;
  for (const std::string& w : words) joined += w;
  if (joined.empty()) return m;
  for (size_t i = 0; i < words.size(); ++i) {
    // "date of birth" as one word too
    std::string run;
    for (size_t j = i; j < words.size() && j < i + 3; ++j) {
      run += words[j];
      if (In(kOtherWords, run)) {
        m.other = true;
        return m;
      }
    }
  }
  for (int f = 0; f < 7; ++f) {
    if (In(kFieldWords[static_cast<size_t>(f)].primary, joined)) return {f, 2, false};
  }
  for (int f = 0; f < 7; ++f) {
    if (In(kFieldWords[static_cast<size_t>(f)].usual, joined)) return {f, 1, false};
  }
  // A field's own word among others ("Patient Phone"), or inside a longer
  // word ("Telephone1", "ApptDateTime"); the most telling fields first. Not
  // the usual words: a cell "Dr Lee" or "Room 3" of data is no heading.
  for (int f : {6, 2, 3, 1, 4, 5, 0}) {
    for (const std::string& w : words) {
      if (In(kFieldWords[static_cast<size_t>(f)].primary, w)) return {f, 0, false};
    }
    for (std::string_view inside : kInside[static_cast<size_t>(f)]) {
      if (joined.find(inside) != std::string::npos) return {f, 0, false};
    }
  }
  return m;
}

}  // namespace vantrelix
