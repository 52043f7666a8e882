#ifndef KITBINDER_MSI_SQL_OVERLOADED_H_
#define KITBINDER_MSI_SQL_OVERLOADED_H_

namespace kb::msi {

// One callable made of several lambdas, for std::visit. The SQL code treats its variants (the
// statement, an operand, a field value) one way: where each alternative has its own answer,
// std::visit over an Overloaded names them all, so a new alternative cannot be forgotten; where
// one alternative is wanted and the others ignored, std::get_if picks it out.
template <typename... Lambdas>
struct Overloaded : Lambdas... {
  using Lambdas::operator()...;
};
// Spelled out for compilers that do not deduce an aggregate's arguments (clang 14).
template <typename... Lambdas>
Overloaded(Lambdas...) -> Overloaded<Lambdas...>;

}  // namespace kb::msi

#endif  // KITBINDER_MSI_SQL_OVERLOADED_H_
