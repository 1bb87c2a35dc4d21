#pragma once
// A run-time failure: a number and a description, shown by the handlers that trap
// failures in the error box and never interpreted by them. The numbering follows the
// classic BASIC run-time errors where one fits.

#include <stdexcept>
#include <string>

namespace vantor::core {

class Failure : public std::runtime_error {
public:
    Failure(int number, const std::string& description)
        : std::runtime_error(description), number_(number) {}
    int number() const { return number_; }
    std::string description() const { return what(); }

private:
    int number_;
};

namespace failure {
constexpr int kInvalidCall = 5;
constexpr int kOverflow = 6;
constexpr int kSubscriptOutOfRange = 9;
constexpr int kTypeMismatch = 13;
constexpr int kBadFileMode = 54;
constexpr int kFileNotFound = 53;
constexpr int kDiskFull = 61;
constexpr int kPathFileAccess = 75;
constexpr int kFileTooLarge = 31001;
} // namespace failure

} // namespace vantor::core
