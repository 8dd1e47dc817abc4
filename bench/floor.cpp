// The floor the tool is measured against: the work it cannot avoid. Opens the map, takes U and C from the
// header, reads the compressed body in one read and decompresses it into a buffer of U bytes.
//   bench_floor MAP
// Exits 0 when the body decompressed to exactly U bytes, 1 otherwise.
#include <fcntl.h>
#include <lzo/lzo1x.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

uint32_t LittleEndian32(const unsigned char* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

bool ReadAll(int fd, void* destination, size_t bytes) {
    unsigned char* out = static_cast<unsigned char*>(destination);
    size_t done = 0;
    while (done < bytes) {
        const ssize_t n = read(fd, out + done, bytes - done);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: bench_floor MAP\n");
        return 2;
    }
    const int fd = open(argv[1], O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 1;
    unsigned char header[17];
    if (!ReadAll(fd, header, sizeof header)) return 1;
    const uint32_t userDataSize = LittleEndian32(header + 13);
    if (lseek(fd, static_cast<off_t>(userDataSize) + 8, SEEK_CUR) < 0) return 1;
    unsigned char sizes[8];
    if (!ReadAll(fd, sizes, sizeof sizes)) return 1;
    const uint32_t bodySize = LittleEndian32(sizes);
    const uint32_t compressedSize = LittleEndian32(sizes + 4);

    unsigned char* compressed = static_cast<unsigned char*>(calloc(1, compressedSize));
    unsigned char* body = static_cast<unsigned char*>(calloc(1, bodySize));
    if (!compressed || !body || !ReadAll(fd, compressed, compressedSize)) return 1;
    if (lzo_init() != LZO_E_OK) return 1;
    lzo_uint length = bodySize;
    const int result = lzo1x_decompress_safe(compressed, compressedSize, body, &length, nullptr);
    free(body);
    free(compressed);
    close(fd);
    return result == LZO_E_OK && length == bodySize ? 0 : 1;
}
