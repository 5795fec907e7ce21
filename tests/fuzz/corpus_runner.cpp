// Runs the INI fuzz target without libFuzzer: every file of the committed
// corpus, then a fixed series of mutations of them, so the checks run on any
// compiler. Exits non-zero (the target aborts) on the first failure.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void Run(const std::string& input) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
}

struct Random {
    uint64_t state;
    uint64_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    size_t Below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(Next() % n); }
};

char InterestingByte(Random& random) {
    static const char kBytes[] = "[];=\r\n \t$%-+09aFz\x00\x80\xC3\xA9\xEF\xBB\xBF\xED\xF0\xFF";
    return kBytes[random.Below(sizeof kBytes - 1)];
}

std::string Mutate(std::string input, const std::vector<std::string>& corpus, Random& random) {
    const size_t edits = 1 + random.Below(8);
    for (size_t e = 0; e < edits; ++e) {
        const size_t at = random.Below(input.size() + 1);
        switch (random.Below(5)) {
            case 0:
                if (at < input.size()) input[at] = InterestingByte(random);
                break;
            case 1: input.insert(at, 1, InterestingByte(random)); break;
            case 2: input.erase(at, random.Below(6)); break;
            case 3: input.insert(at, 1, static_cast<char>(random.Next())); break;
            default: {
                const std::string& other = corpus[random.Below(corpus.size())];
                const size_t from = random.Below(other.size() + 1);
                input.insert(at, other.substr(from, random.Below(40)));
            }
        }
    }
    return input;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s corpus-folder\n", argv[0]);
        return 2;
    }
    std::vector<std::string> corpus;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (corpus.empty()) {
        std::fprintf(stderr, "no corpus in %s\n", argv[1]);
        return 2;
    }
    Run({});
    for (const std::string& input : corpus) Run(input);
    Random random{0x9E3779B97F4A7C15ull};
    for (int round = 0; round < 20000; ++round)
        Run(Mutate(corpus[random.Below(corpus.size())], corpus, random));
    std::printf("%zu corpus files and 20000 mutations read and rewritten\n", corpus.size());
    return 0;
}
