#include "body_cursor.h"

#include <cstring>

#include "little_endian.h"
#include "locked_block.h"

uint32_t FieldLength(const void* bytes, uint32_t length) {
    const uint32_t room = length < kNarrowFieldSize - 1 ? length : kNarrowFieldSize - 1;
    const void* zero = memchr(bytes, 0, room);
    return zero ? static_cast<uint32_t>(static_cast<const char*>(zero) - static_cast<const char*>(bytes)) : room;
}

int ReadBytes(BodyCursor* cursor, void* destination, uint32_t n) {
    if (!cursor || !destination) return 0;
    // Compare with what is left rather than position + n, which could wrap.
    if (n > static_cast<uintptr_t>(cursor->end - cursor->position)) return 0;
    memcpy(destination, cursor->position, n);
    cursor->position += n;
    return 1;
}

int ReadU32(BodyCursor* cursor, uint32_t* destination) {
    unsigned char bytes[4];
    if (!destination || !ReadBytes(cursor, bytes, sizeof bytes)) return 0;
    *destination = LoadLittleEndian32(bytes);
    return 1;
}

int ReadString(BodyCursor* cursor, NarrowField* field) {
    if (!field) return -1;
    uint32_t length = 0;
    if (!ReadU32(cursor, &length)) return -1;
    if (length >= kMaxStringLength) return -1;
    if (length == 0) {
        memset(field->text, 0, sizeof field->text);
        return 0;
    }

    unsigned char* block = AllocateLockedBlock(length + 1);
    if (!block) {
        memset(field->text, 0, sizeof field->text);
        return -1;
    }
    if (!ReadBytes(cursor, block, length)) {
        FreeLockedBlock(block);
        return -1;
    }
    // The text, then zeros to the end of the field.
    const uint32_t text = FieldLength(block, length);
    memcpy(field->text, block, text);
    memset(field->text + text, 0, sizeof field->text - text);
    FreeLockedBlock(block);
    return static_cast<int>(text);
}
