// The framework's exception family. Every failure raised by the dataset
// framework and the layers above it derives from Exception, whose Message()
// is the text shown to a user.
#ifndef DATASET_EXCEPTIONS_H
#define DATASET_EXCEPTIONS_H

#include <exception>
#include <string>

namespace dataset {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}

  const std::string& Message() const noexcept { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;  // Text shown to the user
};

// A silent failure: unwinds without being reported to the user.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
  using Exception::Exception;
};

// Refusals and failures of datasets and database components.
class EDatabaseError : public Exception {
  using Exception::Exception;
};

// Index and content errors of lists, string lists and collections.
class EListError : public Exception {
  using Exception::Exception;
};
class EStringListError : public EListError {
  using EListError::EListError;
};

// Text that does not convert to the requested kind, and failed assignments
// between incompatible persistent objects.
class EConvertError : public Exception {
  using Exception::Exception;
};

// Values outside the range of the requested kind.
class ERangeError : public Exception {
  using Exception::Exception;
};

// Variants that cannot be converted to the requested kind (null, arrays).
class EVariantError : public EConvertError {
  using EConvertError::EConvertError;
};

// BCD values that do not fit the requested precision.
class EBcdException : public Exception {
  using Exception::Exception;
};
class EBcdOverflowException : public EBcdException {
  using EBcdException::EBcdException;
};

// Component names and ownership.
class EComponentError : public Exception {
  using Exception::Exception;
};

// Operations a component refuses in its present state.
class EInvalidOperation : public Exception {
  using Exception::Exception;
};

// Streams and stored descriptions.
class EStreamError : public Exception {
  using Exception::Exception;
};
class EFilerError : public EStreamError {
  using EStreamError::EStreamError;
};
class EReadError : public EFilerError {
  using EFilerError::EFilerError;
};
class EWriteError : public EFilerError {
  using EFilerError::EFilerError;
};
class EClassNotFound : public EFilerError {
  using EFilerError::EFilerError;
};

}  // namespace dataset

#endif  // DATASET_EXCEPTIONS_H
