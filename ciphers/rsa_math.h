// The small RSA of the library, computed in IEEE double precision exactly as existing key
// pairs and cipher texts expect: every product is rounded to a double before it is reduced.
// rsa_math.cpp is compiled without floating-point contraction so no fused multiply-add
// changes a result.
#pragma once

#include <optional>

namespace ciphra::rsa {

// Moduli from this value on have (n - 1)^2 above 2^53, so their products round.
inline constexpr double kExactModulusLimit = 94906267.0;

// a - Int(a / m) * m, Int rounding down.
double modReduce(double a, double m);
// base^exponent mod m by squaring while the exponent is even, then one multiplication. An
// exponent of 0 or less gives 1. A failure (a zero modulus, an exponent beyond 32 bits)
// gives 0.
double modPow(double base, double exponent, double m);
// Trial division by odd numbers up to the square root; 2 and every even number are not prime.
bool isPrime(double x);
// A prime from a random start in 10,000,000 .. 99,999,999 upwards that does not divide phi.
double chooseExponent(double phi);
// The inverse of e modulo phi (extended Euclid), made non-negative once.
double modInverse(double e, double phi);

struct KeyNumbers {
    double e = 0, d = 0, n = 0;
    double p = 0, q = 0;
};
// A new key pair: primes p, q from 3170 to 9999 with p * q below kExactModulusLimit, e from
// chooseExponent, d = modInverse(e, phi) redrawn until d exceeds 10,000,000.
KeyNumbers generateKeyNumbers();

}  // namespace ciphra::rsa
