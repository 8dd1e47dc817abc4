// Sequential little-endian reads from the MapBody that never pass its end.
#pragma once

#include <cstdint>

struct BodyCursor {
    const unsigned char* position;  // next unread byte
    const unsigned char* end;       // just behind the MapBody's last byte
};

// A body string is stored as a 32-bit length below this and as many bytes.
const uint32_t kMaxStringLength = 0xFFFF;  // exclusive

// A body string: UTF-8 bytes and a terminating zero, at most 511 bytes of text.
const unsigned kNarrowFieldSize = 512;
struct NarrowField {
    char text[kNarrowFieldSize];
};

// How many of a string's `length` bytes a NarrowField takes: at most 511, up to its first zero byte.
uint32_t FieldLength(const void* bytes, uint32_t length);

// Copies the next n bytes and advances. Returns 0 and consumes nothing when the cursor or the destination is
// null or fewer than n bytes are left.
int ReadBytes(BodyCursor* cursor, void* destination, uint32_t n);

// ReadBytes of a little-endian 32-bit number.
int ReadU32(BodyCursor* cursor, uint32_t* destination);

// Reads a length-prefixed string into `field`, cut to the field's 511 bytes and ending at its first zero byte;
// all of its bytes are consumed. Returns the text's length, or -1 when the field is null, the length cannot be
// read or is 65535 or more, the temporary block cannot be had (the field is then made empty) or the bytes are
// not all there. Apart from the allocation failure, a failure leaves the field as it was.
int ReadString(BodyCursor* cursor, NarrowField* field);
