#include "Placement.h"

namespace {

// One axis: `size` units from the pointer toward the middle of low..high.
void Beside(LONG pointer, LONG low, LONG high, int size, LONG* from, LONG* to) {
    bool before = pointer > (low + high) / 2;
    *from = before ? pointer - size : pointer;
    *to = before ? pointer : pointer + size;
}

}  // namespace

RECT PlaceBeside(POINT pointer, const RECT& work, int size) {
    RECT placed;
    Beside(pointer.x, work.left, work.right, size, &placed.left, &placed.right);
    Beside(pointer.y, work.top, work.bottom, size, &placed.top, &placed.bottom);
    // A monitor smaller than twice the square: it moves in rather than hang
    // over the monitor's edge, and one lower than the square cuts it, so that
    // the header with its close box and the last row both show.
    placed = KeptWithin(placed, work);
    if (placed.bottom > work.bottom) placed.bottom = work.bottom;
    return placed;
}

RECT KeptWithin(RECT place, const RECT& work) {
    int dx = place.right > work.right ? work.right - place.right : 0;
    int dy = place.bottom > work.bottom ? work.bottom - place.bottom : 0;
    if (place.left + dx < work.left) dx = work.left - place.left;
    if (place.top + dy < work.top) dy = work.top - place.top;
    OffsetRect(&place, dx, dy);
    return place;
}
