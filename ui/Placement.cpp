#include "Placement.h"

RECT PlaceBeside(POINT pointer, const RECT& work, int size) {
    RECT placed;
    if (pointer.x > (work.left + work.right) / 2) {
        placed.left = pointer.x - size;
        placed.right = pointer.x;
    } else {
        placed.left = pointer.x;
        placed.right = pointer.x + size;
    }
    if (pointer.y > (work.top + work.bottom) / 2) {
        placed.top = pointer.y - size;
        placed.bottom = pointer.y;
    } else {
        placed.top = pointer.y;
        placed.bottom = pointer.y + size;
    }
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
