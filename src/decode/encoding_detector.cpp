// Encoding detection: candidates from the detector, decided by our decoders.
#include "decode/encoding_detector.hpp"

namespace varnolt {

std::vector<DetectionCandidate> DetectEncoding(std::span<const std::byte> head, bool bTruncated) {
    (void)head;
    (void)bTruncated;
    return {};
}

FileDetection DetectFileEncoding(const std::filesystem::path& path) {
    (void)path;
    return {};
}

} // namespace varnolt
