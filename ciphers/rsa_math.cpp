// Compiled with -ffp-contract=off (see CMakeLists.txt).
#include "ciphers/rsa_math.h"

#include <cmath>
#include <cstdint>

#include "ciphers/random.h"

namespace ciphra::rsa {

namespace {

// CLng: round half to even into 32 bits; nullopt where the runtime overflows.
std::optional<std::int32_t> toLong(double x) {
    if (!std::isfinite(x)) return std::nullopt;
    double r = std::nearbyint(x);  // the default rounding mode rounds halves to even
    if (r < -2147483648.0 || r > 2147483647.0) return std::nullopt;
    return static_cast<std::int32_t>(r);
}

}  // namespace

double modReduce(double a, double m) {
    return a - std::floor(a / m) * m;
}

double modPow(double base, double exponent, double m) {
    double result = 1;
    if (!(exponent > 0)) return result;
    if (m == 0) return 0;
    do {
        for (;;) {
            auto whole = toLong(exponent);
            if (!whole) return 0;
            if (*whole % 2 != 0) break;
            base = modReduce(base * base, m);
            exponent = exponent / 2;
        }
        result = modReduce(result * base, m);
        exponent = exponent - 1;
    } while (exponent > 0);
    return result;
}

bool isPrime(double x) {
    if (x < 2) return false;
    auto n = toLong(x);
    if (!n || *n % 2 == 0) return false;
    const std::int32_t limit = static_cast<std::int32_t>(std::floor(std::sqrt(x)));
    for (std::int32_t i = 3; i <= limit; i += 2)
        if (*n % i == 0) return false;
    return true;
}

double chooseExponent(double phi) {
    double e = std::floor(uniform() * 90000000.0 + 10000000.0);
    const auto phiLong = toLong(phi);
    while (!isPrime(e) || (phiLong && *phiLong % *toLong(e) == 0)) e = e + 1;
    return e;
}

double modInverse(double e, double phi) {
    double r0 = phi, r1 = e, t0 = 0, t1 = 1;
    while (r1 != 0) {
        const double q = std::floor(r0 / r1);
        const double r2 = r0 - q * r1;
        r0 = r1;
        r1 = r2;
        const double t2 = t0 - q * t1;
        t0 = t1;
        t1 = t2;
    }
    if (t0 < 0) t0 = t0 + phi;
    return t0;
}

KeyNumbers generateKeyNumbers() {
    KeyNumbers k;
    double phi = 0;
    while (!(k.d > 10000000.0)) {
        // Equal primes make n a square, for which (p-1)(q-1) is not the totient: such a key
        // never deciphers what it enciphered, so draw again.
        while (!isPrime(k.p) || !isPrime(k.q) || k.p == k.q || k.p * k.q >= kExactModulusLimit) {
            k.p = std::floor(uniform() * 6830.0 + 3170.0);
            k.q = std::floor(uniform() * 6830.0 + 3170.0);
        }
        k.n = k.q * k.p;
        phi = (k.q - 1) * (k.p - 1);
        k.e = chooseExponent(phi);
        k.d = modInverse(k.e, phi);
    }
    return k;
}

}  // namespace ciphra::rsa
