// The payload a release was built with: each file's size and SHA-256, recorded by the build.
#pragma once

struct PayloadDigest {
    unsigned long long size;
    unsigned char sha256[32];
};

// Whether this build fixes its payload; without it any payload file is taken as it is.
extern const bool kPayloadFixed;
// The nine payload files in the payload table's order (meaningful when kPayloadFixed).
extern const PayloadDigest kPayloadDigests[9];
