// Evaluating compiled formulas against the pool, and the value of a numeric
// variable, whether stored or computed.
//
// Everything here runs under one ReadView that the caller holds: a formula
// that refers to other formulas evaluates them under that same view (the
// pool's lock is not recursive, so nothing here takes it again), and so sees
// one consistent pool from start to end. Nothing is cached: a computed value
// is always that of the pool as it is now.
#pragma once

#include <cstdint>
#include <string_view>

#include "server/core/formula_parser.h"
#include "server/core/pool.h"

namespace vard::server::formula {

// Formulas referring to formulas: at most this many deep.
inline constexpr int kMaxDepth = 16;

enum class Status : std::uint8_t {
  Ok,
  UnknownName,   // a referenced variable does not exist
  TypeMismatch,  // a string or waveform used as a number, or a reduction of a non-waveform
  Domain,        // a step gave NaN or an infinity: 1/0, sqrt(-1), ln(0), overflow, a NaN input
  NoData,        // a reduction of a waveform without samples (or an ordered X axis)
  Cycle,         // a formula refers to itself, directly or through others
  TooDeep,       // formulas refer to formulas more than kMaxDepth deep
};

struct Outcome {
  Status status = Status::Ok;
  double value = 0.0;     // when Ok: always finite
  std::string_view name;  // when not Ok: the name at fault, if any (valid while the view is held)
};

// The reply code a client gets for a status (vardOK for Ok).
std::uint16_t ReplyCode(Status status) noexcept;
// A short English text for the Formula Editor and the expansion markers.
const char* Describe(Status status) noexcept;

Outcome Evaluate(const Formula& f, const Pool::ReadView& view);

// The value of a variable of Kind::Number: its stored value, or its formula
// evaluated now.
Outcome NumberValue(const Variable& v, const Pool::ReadView& view);

}  // namespace vard::server::formula
