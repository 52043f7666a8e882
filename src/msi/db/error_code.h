#ifndef KITBINDER_MSI_DB_ERROR_CODE_H_
#define KITBINDER_MSI_DB_ERROR_CODE_H_

namespace kb::msi {

// Results inside the engine are the installer's own documented return codes, so they pass
// through the C interface unchanged.
using ErrorCode = unsigned;

inline constexpr ErrorCode kSuccess = 0;
inline constexpr ErrorCode kInvalidHandle = 6;
inline constexpr ErrorCode kInvalidData = 13;
inline constexpr ErrorCode kInvalidParameter = 87;
inline constexpr ErrorCode kOpenFailed = 110;
inline constexpr ErrorCode kBadPathname = 161;
inline constexpr ErrorCode kMoreData = 234;
inline constexpr ErrorCode kNoMoreItems = 259;
inline constexpr ErrorCode kInvalidHandleState = 1609;
inline constexpr ErrorCode kBadQuerySyntax = 1615;
inline constexpr ErrorCode kInvalidField = 1616;
inline constexpr ErrorCode kFunctionFailed = 1627;
inline constexpr ErrorCode kInvalidTable = 1628;
inline constexpr ErrorCode kDatatypeMismatch = 1629;
inline constexpr ErrorCode kCreateFailed = 1631;
inline constexpr ErrorCode kInvalidDatatype = 1804;

}  // namespace kb::msi

#endif  // KITBINDER_MSI_DB_ERROR_CODE_H_
