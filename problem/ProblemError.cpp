#include "ProblemError.h"

namespace problem {

std::string_view CodeName(WarningCode code) {
  switch (code) {
    case WarningCode::UnknownName:
      return "unknownName";
    case WarningCode::UnusedUnknown:
      return "unusedUnknown";
    case WarningCode::Comparison:
      return "comparison";
    case WarningCode::DuplicateName:
      return "duplicateName";
    case WarningCode::Separator:
      return "separator";
  }
  return "unknown";
}

std::string Format(const ProblemError& error) {
  std::string text = error.source;
  if (error.place.line > 0) {
    text += ':' + std::to_string(error.place.line);
    if (error.place.column > 0) text += ':' + std::to_string(error.place.column);
  } else if (error.place.column > 0) {
    text += " (column " + std::to_string(error.place.column) + ')';
  }
  if (!text.empty()) text += ": ";
  if (error.equation > 0) text += "Eq_" + std::to_string(error.equation) + ": ";
  if (!error.field.empty()) text += error.field + ": ";
  return text + error.message;
}

}  // namespace problem
