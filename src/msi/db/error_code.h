#ifndef KITBINDER_MSI_DB_ERROR_CODE_H_
#define KITBINDER_MSI_DB_ERROR_CODE_H_

namespace kb::msi {

// The result of an engine operation. The values are the installer's own documented return
// codes, so the C interface hands them out with ToReturnCode and nothing else; inside the
// engine they are a type of their own, which neither mixes with other numbers nor may be
// dropped unread (every function returning one is [[nodiscard]] through the type).
enum class [[nodiscard]] ErrorCode : unsigned{
    kSuccess = 0,
    kInvalidHandle = 6,
    kInvalidData = 13,
    kInvalidParameter = 87,
    kOpenFailed = 110,
    kBadPathname = 161,
    kMoreData = 234,
    kNoMoreItems = 259,
    kUnknownProperty = 1608,
    kInvalidHandleState = 1609,
    kBadQuerySyntax = 1615,
    kInvalidField = 1616,
    kFunctionFailed = 1627,
    kInvalidTable = 1628,
    kDatatypeMismatch = 1629,
    kCreateFailed = 1631,
    kInvalidDatatype = 1804,
};

// The codes are named unqualified throughout the engine (kSuccess, kFunctionFailed, ...).
using enum ErrorCode;

// The installer's numeric return code of `error`, for the C interface.
constexpr unsigned ToReturnCode(ErrorCode error) {
  return static_cast<unsigned>(error);
}

}  // namespace kb::msi

#endif  // KITBINDER_MSI_DB_ERROR_CODE_H_
