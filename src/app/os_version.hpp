// Operating-system capability flags. Linux counts as a current system.
#pragma once

namespace varnolt {

class COSVer {
public:
    static bool IsNT() { return true; }
    static bool IsXPOrLater() { return true; }
    static bool IsVistaOrLater() { return true; }
    static bool IsWin7OrLater() { return true; }
};

} // namespace varnolt
