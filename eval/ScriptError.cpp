#include "ScriptError.h"

#include <array>

namespace eval {
namespace {

// VBScript's own texts, matched exactly.
constexpr std::array kErrors{
    ErrorEntry{ErrorNumber::InvalidProcedureCall, "Invalid procedure call or argument"},
    ErrorEntry{ErrorNumber::Overflow, "Overflow"},
    ErrorEntry{ErrorNumber::OutOfMemory, "Out of memory"},
    ErrorEntry{ErrorNumber::SubscriptOutOfRange, "Subscript out of range"},
    ErrorEntry{ErrorNumber::DivisionByZero, "Division by zero"},
    ErrorEntry{ErrorNumber::TypeMismatch, "Type mismatch"},
    ErrorEntry{ErrorNumber::OutOfStringSpace, "Out of string space"},
    ErrorEntry{ErrorNumber::OutOfStackSpace, "Out of stack space"},
    ErrorEntry{ErrorNumber::InvalidUseOfNull, "Invalid use of Null"},
    ErrorEntry{ErrorNumber::ObjectRequired, "Object required"},
    ErrorEntry{ErrorNumber::ObjectDoesntSupport, "Object doesn't support this property or method"},
    ErrorEntry{ErrorNumber::WrongNumberOfArguments,
               "Wrong number of arguments or invalid property assignment"},
    ErrorEntry{ErrorNumber::IllegalAssignment, "Illegal assignment"},
    ErrorEntry{ErrorNumber::SyntaxError, "Syntax error"},
    ErrorEntry{ErrorNumber::ExpectedOpenParen, "Expected '('"},
    ErrorEntry{ErrorNumber::ExpectedCloseParen, "Expected ')'"},
    ErrorEntry{ErrorNumber::ExpectedIdentifier, "Expected identifier"},
    ErrorEntry{ErrorNumber::ExpectedEquals, "Expected '='"},
    ErrorEntry{ErrorNumber::ExpectedEnd, "Expected 'End'"},
    ErrorEntry{ErrorNumber::ExpectedFunction, "Expected 'Function'"},
    ErrorEntry{ErrorNumber::ExpectedStatement, "Expected statement"},
    ErrorEntry{ErrorNumber::ExpectedEndOfStatement, "Expected end of statement"},
    ErrorEntry{ErrorNumber::InvalidExitStatement, "Invalid 'exit' statement"},
    ErrorEntry{ErrorNumber::NameRedefined, "Name redefined"},
    ErrorEntry{ErrorNumber::InvalidCharacter, "Invalid character"},
    ErrorEntry{ErrorNumber::UnterminatedString, "Unterminated string constant"},
    ErrorEntry{ErrorNumber::UnknownLanguage, "The script engine supports only the language VBScript"},
};

}  // namespace

std::string_view DescriptionOf(ErrorNumber number) {
  for (const auto& entry : kErrors) {
    if (entry.number == number) return entry.description;
  }
  return {};
}

std::span<const ErrorEntry> ErrorTable() { return kErrors; }

ScriptError::ScriptError(ErrorNumber number, std::size_t position)
    : ScriptError(number, std::string(DescriptionOf(number)), position) {}

ScriptError::ScriptError(ErrorNumber number, std::string description, std::size_t position)
    : std::runtime_error(description),
      number_(number),
      description_(std::move(description)),
      position_(position) {}

}  // namespace eval
