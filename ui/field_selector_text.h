#pragma once

#include <QString>

#include <string>
#include <string_view>

#include "preview_model.h"

namespace vantrelix {

// Texts between the field selector's controls and the engine's bytes.
inline QString FromBytes(std::string_view bytes) {
  return DisplayText(bytes);
}
inline std::string ToBytes(const QString& text) {
  return text.toLocal8Bit().toStdString();
}
// A label's or button's text as it reads, without its mnemonic mark.
inline QString PlainText(QString text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == '&') text.remove(i, 1);  // "&&" leaves one "&"
  }
  return text;
}

}  // namespace vantrelix
