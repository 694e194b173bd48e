"""A pixel canvas with the few drawing operations the artwork needs.

Values are whatever the target image stores (palette indices or RGB tuples); every operation is
integer arithmetic, so the same calls always give the same pixels.
"""


class Canvas:
    def __init__(self, width, height, background):
        self.width = width
        self.height = height
        self.rows = [[background] * width for _ in range(height)]

    def put(self, x, y, value):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.rows[y][x] = value

    def fill_rect(self, left, top, right, bottom, value):
        """Fills the inclusive rectangle left..right x top..bottom."""
        for y in range(top, bottom + 1):
            for x in range(left, right + 1):
                self.put(x, y, value)

    def fill_circle(self, centre_x, centre_y, radius, value):
        for y in range(centre_y - radius, centre_y + radius + 1):
            for x in range(centre_x - radius, centre_x + radius + 1):
                if (x - centre_x) ** 2 + (y - centre_y) ** 2 <= radius * radius:
                    self.put(x, y, value)

    def fill_polygon(self, points, value):
        """Fills the pixels whose centres lie inside the polygon (even-odd rule)."""
        top = min(y for _, y in points)
        bottom = max(y for _, y in points)
        left = min(x for x, _ in points)
        right = max(x for x, _ in points)
        for y in range(top, bottom + 1):
            for x in range(left, right + 1):
                if _inside(points, 2 * x + 1, 2 * y + 1):
                    self.put(x, y, value)


def _inside(points, doubled_x, doubled_y):
    # Works on doubled coordinates so pixel centres (x + 0.5) stay integers.
    inside = False
    count = len(points)
    for i in range(count):
        x1, y1 = (2 * c for c in points[i])
        x2, y2 = (2 * c for c in points[(i + 1) % count])
        if (y1 > doubled_y) != (y2 > doubled_y):
            # Edge crosses the scan line: compare without division.
            cross = (x2 - x1) * (doubled_y - y1) - (doubled_x - x1) * (y2 - y1)
            if (cross > 0) == (y2 > y1):
                inside = not inside
    return inside
