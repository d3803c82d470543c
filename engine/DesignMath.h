// The transcendental functions of filter and detector design, the same bits on every C library.
// Each C library rounds sin, cos, exp and pow its own way (they differ by an ulp, more near a
// multiple of pi), and the coefficients must not depend on the system. These evaluate in
// double-double arithmetic (about 100 bits, basic operations only) and round once at the end: the
// correctly rounded result in practice, which is also glibc's answer on all the inputs the engine
// uses. Design time only (the thread that builds the bank or sets Resp); any thread.
#pragma once

namespace lumetra {

// Double results, for |x| below 2^20 (the design arguments stay below 1000).
double designSin(double x);
double designCos(double x);

// Float results of float arguments.
float designCos(float x);
float designExp(float x);
float designPow(float base, float exponent);  // base > 0; other bases follow std::pow

}  // namespace lumetra
