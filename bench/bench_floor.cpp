// The floor the tool is measured against, the work it cannot avoid: opens the map, takes U and C from the
// header, reads the compressed body in one read and decompresses it into a buffer of U bytes. It reads the
// header itself, a few words at a time, so that it measures no more than that.
//   bench_floor MAP    (exits 0 when the body decompressed to exactly U bytes)
#include <fcntl.h>
#include <lzo/lzo1x.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

static bool ReadAll(int fd, unsigned char* destination, size_t bytes) {
    for (ssize_t n = 0; bytes > 0; destination += n, bytes -= static_cast<size_t>(n)) {
        if ((n = read(fd, destination, bytes)) <= 0) return false;
    }
    return true;
}

static uint32_t Word(const unsigned char* b) {
    return static_cast<uint32_t>(b[0] | b[1] << 8 | b[2] << 16) | static_cast<uint32_t>(b[3]) << 24;
}

int main(int argc, char** argv) {
    const int fd = argc == 2 ? open(argv[1], O_RDONLY | O_CLOEXEC) : -1;
    unsigned char header[17], sizes[8];
    if (fd < 0 || !ReadAll(fd, header, 17) || lseek(fd, static_cast<off_t>(Word(header + 13)) + 8, SEEK_CUR) < 0 ||
        !ReadAll(fd, sizes, 8)) {
        return 1;
    }
    const uint32_t bodySize = Word(sizes), compressedSize = Word(sizes + 4);
    unsigned char* compressed = static_cast<unsigned char*>(calloc(1, compressedSize));
    unsigned char* body = static_cast<unsigned char*>(calloc(1, bodySize));
    if (!compressed || !body || !ReadAll(fd, compressed, compressedSize) || lzo_init() != LZO_E_OK) return 1;
    lzo_uint length = bodySize;
    const int result = lzo1x_decompress_safe(compressed, compressedSize, body, &length, nullptr);
    free(body);
    free(compressed);
    close(fd);
    return result == LZO_E_OK && length == bodySize ? 0 : 1;
}
