// Where converted UTF-16 text goes: the target writer, or a collector in tests.
#pragma once

#include <string_view>

namespace varnolt {

class CTextSink {
public:
    virtual ~CTextSink() = default;
    // Writes a piece of the file's text (never containing NUL units) in the
    // run's output format. Failures throw (the writer's file exception).
    virtual void WriteUnicode(std::u16string_view text) = 0;
    // Returns when every piece written so far has reached its destination,
    // throwing the failure of one that did not. A sink that writes at once
    // has nothing to wait for.
    virtual void Settle() {}
};

} // namespace varnolt
