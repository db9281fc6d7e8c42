// One visitor made of several lambdas, one per kind, for std::visit over the typed events.
#pragma once

namespace sim {

template <class... Lambdas> struct Overloaded : Lambdas...
{
    using Lambdas::operator()...;
};
template <class... Lambdas> Overloaded(Lambdas...) -> Overloaded<Lambdas...>;

}  // namespace sim
