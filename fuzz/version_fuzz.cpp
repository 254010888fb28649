// SPDX-License-Identifier: Apache-2.0
// Fuzzes Version parsing, ordering, text form and value semantics with two texts.
// The input is split at its first NUL byte (or in half when there is none).
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "Version.h"

namespace {

int sign(int v) { return (v > 0) - (v < 0); }

void check(bool ok) {
    if (!ok) abort();
}

void checkTextForm(Version& v) {
    const char* text = v.toString();
    check(text != nullptr && strlen(text) <= 31);
    std::string first = text;
    check(first == v.toString());
}

// A copy and an assignment order equal to the original and show the same text.
void checkCopies(Version& v) {
    Version copy(v);
    check(copy.compare(v, true) == 0 && v.compare(copy, true) == 0);
    check(copy.empty() == v.empty());
    std::string text = v.toString();
    check(text == copy.toString());

    Version assigned("0.0.0-placeholder");
    assigned = v;
    check(assigned.compare(v, true) == 0 && v.compare(assigned, true) == 0);
    check(text == assigned.toString());

    Version& self = assigned;
    assigned = self;
    check(assigned.compare(v, true) == 0);
}

void checkOrder(const Version& a, const Version& b) {
    for (bool checkRemainder : {true, false}) {
        int ab = sign(a.compare(b, checkRemainder));
        int ba = sign(b.compare(a, checkRemainder));
        check(ab == -ba);
        check(a.compare(a, checkRemainder) == 0);
    }
    int ab = sign(a.compare(b, true));
    check((a < b) == (ab < 0) && (a > b) == (ab > 0));
    check((b < a) == (ab > 0) && (b > a) == (ab < 0));
    // Without remainders a version can only tie more often, never flip.
    int plain = sign(a.compare(b, false));
    check(plain == 0 || plain == ab);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const void* nul = memchr(data, 0, size);
    size_t split = nul ? static_cast<const uint8_t*>(nul) - data : size / 2;
    std::string first(bytes, split);
    std::string second(bytes + split + (nul ? 1 : 0), size - split - (nul ? 1 : 0));

    Version a(first.c_str());
    Version b(second);  // the string constructor, up to any NUL in the text
    checkTextForm(a);
    checkTextForm(b);
    checkCopies(a);
    checkCopies(b);
    checkOrder(a, b);

    Version sameAsB(second.c_str());
    check(sameAsB.compare(b, true) == 0);

    swap(a, sameAsB);
    check(a.compare(b, true) == 0);
    checkOrder(a, sameAsB);
    return 0;
}
