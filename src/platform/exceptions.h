// The exception hierarchy: one base carrying the message and the class name the platform
// reports (the driver's error line prints both).
#pragma once

#include <stdexcept>
#include <string>

namespace pagewright {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  // The message, UTF-8.
  const std::string& Message() const { return message_; }
  void SetMessage(std::string m) { message_ = std::move(m); }
  virtual const char* ClassName() const { return "Exception"; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

#define PW_DECLARE_EXCEPTION(Name, Base)                                \
  class Name : public Base {                                            \
   public:                                                              \
    using Base::Base;                                                   \
    const char* ClassName() const override { return #Name; }            \
  };

PW_DECLARE_EXCEPTION(EConvertError, Exception)
PW_DECLARE_EXCEPTION(EVariantError, Exception)
PW_DECLARE_EXCEPTION(EVariantTypeCastError, EVariantError)
PW_DECLARE_EXCEPTION(EVariantInvalidOpError, EVariantError)
PW_DECLARE_EXCEPTION(EVariantOverflowError, EVariantError)
PW_DECLARE_EXCEPTION(EVariantBadIndexError, EVariantError)
PW_DECLARE_EXCEPTION(EVariantArrayLockedError, EVariantError)
PW_DECLARE_EXCEPTION(EVariantArrayCreateError, EVariantError)
PW_DECLARE_EXCEPTION(EVariantInvalidArgError, EVariantError)
PW_DECLARE_EXCEPTION(EVariantInvalidNullOpError, EVariantInvalidOpError)
PW_DECLARE_EXCEPTION(EVariantBadVarTypeError, EVariantError)
PW_DECLARE_EXCEPTION(EMathError, Exception)
PW_DECLARE_EXCEPTION(EInvalidOp, EMathError)
PW_DECLARE_EXCEPTION(EZeroDivide, EMathError)
PW_DECLARE_EXCEPTION(EOverflow, EMathError)
PW_DECLARE_EXCEPTION(EUnderflow, EMathError)
PW_DECLARE_EXCEPTION(EIntError, Exception)
PW_DECLARE_EXCEPTION(EDivByZero, EIntError)
PW_DECLARE_EXCEPTION(ERangeError, EIntError)
PW_DECLARE_EXCEPTION(EIntOverflow, EIntError)
PW_DECLARE_EXCEPTION(EInOutError, Exception)
PW_DECLARE_EXCEPTION(EStreamError, Exception)
PW_DECLARE_EXCEPTION(EFileStreamError, EStreamError)
PW_DECLARE_EXCEPTION(EFCreateError, EFileStreamError)
PW_DECLARE_EXCEPTION(EFOpenError, EFileStreamError)
PW_DECLARE_EXCEPTION(EReadError, EStreamError)
PW_DECLARE_EXCEPTION(EWriteError, EStreamError)
PW_DECLARE_EXCEPTION(EListError, Exception)
PW_DECLARE_EXCEPTION(EStringListError, Exception)
PW_DECLARE_EXCEPTION(EComponentError, Exception)
PW_DECLARE_EXCEPTION(EDuplicateName, EComponentError)
PW_DECLARE_EXCEPTION(EClassNotFound, Exception)
PW_DECLARE_EXCEPTION(EPropertyError, Exception)
PW_DECLARE_EXCEPTION(EInvalidOperation, Exception)
PW_DECLARE_EXCEPTION(EInvalidPointer, Exception)
PW_DECLARE_EXCEPTION(EAbort, Exception)
PW_DECLARE_EXCEPTION(EOutOfMemory, Exception)
PW_DECLARE_EXCEPTION(EAccessViolation, Exception)
PW_DECLARE_EXCEPTION(EStackOverflow, Exception)
// Data that was read but not understood: it is kept as it was, and the message says so.
PW_DECLARE_EXCEPTION(EDataKept, Exception)
PW_DECLARE_EXCEPTION(ENotSupportedException, Exception)
PW_DECLARE_EXCEPTION(EDatabaseError, Exception)
PW_DECLARE_EXCEPTION(EOleError, Exception)

// Subsystems declare their own classes with PW_DECLARE_EXCEPTION too.

}  // namespace pagewright
