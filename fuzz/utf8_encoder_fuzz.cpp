// Fuzzes the writer's UTF-8 encoder: the fast path must equal the scalar
// reference and the independent lenient encoder on any UTF-16 input.
#include "output/utf_encode.hpp"
#include "platform/text_utf.hpp"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text(size / 2, u'\0');
    std::memcpy(text.data(), data, text.size() * 2);
    std::vector<std::uint8_t> fast(varnolt::MaxUtf8Size(text.size()));
    std::vector<std::uint8_t> scalar(fast.size());
    fast.resize(varnolt::EncodeUtf8(text.data(), text.size(), fast.data()));
    scalar.resize(varnolt::EncodeUtf8Scalar(text.data(), text.size(), scalar.data()));
    const std::string lenient = varnolt::Utf16ToUtf8(text);
    if (fast != scalar || std::string(fast.begin(), fast.end()) != lenient) {
        std::abort();
    }
    return 0;
}
