// Writes the demo image: about 1 MiB of 8-bit unsigned PCM at 16 kHz, a
// short melody of sine tones, the kind of sound a voice chip plays back.
#include <cmath>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    constexpr int kRate = 16000;
    constexpr std::size_t kBytes = 1048576;
    const double notes[] = {523.25, 587.33, 659.25, 698.46, 783.99, 880.00, 987.77, 1046.50};
    const double pi = std::acos(-1.0);
    std::vector<unsigned char> samples(kBytes);
    for (std::size_t i = 0; i < kBytes; ++i) {
        std::size_t note = (i / (kRate / 2)) % 8;  // half a second each
        double t = static_cast<double>(i % (kRate / 2)) / kRate;
        double envelope = std::exp(-3.0 * t);
        double value = envelope * std::sin(2 * pi * notes[note] * t);
        samples[i] = static_cast<unsigned char>(128 + 100 * value);
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(samples.data(), 1, kBytes, out) != kBytes || std::fclose(out) != 0) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
