// One failure type for everything the script engine reports: VBScript's error
// number, its description and, for compile errors, the position in the code.
#pragma once

#include <cstddef>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace eval {

// VBScript's error numbers. Descriptions live in one table (ScriptError.cpp).
enum class ErrorNumber : int {
  InvalidProcedureCall = 5,
  Overflow = 6,
  OutOfMemory = 7,
  SubscriptOutOfRange = 9,
  DivisionByZero = 11,
  TypeMismatch = 13,
  OutOfStringSpace = 14,
  OutOfStackSpace = 28,
  InvalidUseOfNull = 94,
  ObjectRequired = 424,
  ObjectDoesntSupport = 438,
  WrongNumberOfArguments = 450,
  IllegalAssignment = 501,
  SyntaxError = 1002,
  ExpectedOpenParen = 1005,
  ExpectedCloseParen = 1006,
  ExpectedIdentifier = 1010,
  ExpectedEquals = 1011,
  ExpectedEnd = 1012,
  ExpectedFunction = 1015,
  ExpectedStatement = 1024,
  ExpectedEndOfStatement = 1025,
  InvalidExitStatement = 1039,
  NameRedefined = 1041,
  InvalidCharacter = 1032,
  UnterminatedString = 1033,
  UnknownLanguage = 5000,  // our own: a language other than VBScript was selected
};

// The description VBScript gives for a number; empty for a number not in the table.
std::string_view DescriptionOf(ErrorNumber number);

// Every table entry, for tests that walk the table.
struct ErrorEntry {
  ErrorNumber number;
  std::string_view description;
};
std::span<const ErrorEntry> ErrorTable();

class ScriptError : public std::runtime_error {
 public:
  // Description from the table.
  explicit ScriptError(ErrorNumber number, std::size_t position = kNoPosition);
  // A description of its own, e.g. "Type mismatch: 'foo'".
  ScriptError(ErrorNumber number, std::string description, std::size_t position = kNoPosition);

  ErrorNumber Number() const { return number_; }
  const std::string& Description() const { return description_; }
  std::size_t Position() const { return position_; }

  static constexpr std::size_t kNoPosition = static_cast<std::size_t>(-1);

 private:
  ErrorNumber number_;
  std::string description_;
  std::size_t position_;
};

}  // namespace eval
