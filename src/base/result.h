#pragma once

#include <QString>

#include <utility>
#include <variant>

namespace tandrel {

// The error side of a Result: a readable message, worded as the caller shows it.
struct Error {
  QString message;
};

// A value or an error text. Failures are values: operations that can fail for a reason the user
// or a log should see return one of these instead of throwing.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit
  Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit

  static Result failure(QString message) { return Result(Error{std::move(message)}); }

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  // Only on success.
  const T& value() const& { return std::get<0>(state_); }
  T& value() & { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  const T& operator*() const& { return value(); }
  const T* operator->() const { return &value(); }

  // Only on failure.
  const QString& error() const { return std::get<1>(state_).message; }

  T valueOr(T fallback) const { return ok() ? value() : std::move(fallback); }

 private:
  std::variant<T, Error> state_;
};

// Success or an error text, for operations that give nothing back.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error.message)), failed_(true) {}  // NOLINT: implicit

  static Result success() { return Result(); }
  static Result failure(QString message) { return Result(Error{std::move(message)}); }

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const QString& error() const { return error_; }

 private:
  QString error_;
  bool failed_ = false;
};

}  // namespace tandrel
