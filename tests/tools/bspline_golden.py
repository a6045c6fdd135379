#!/usr/bin/env python3
"""Golden values for tests/math/bspline_test.cpp: uniform B-spline design matrices evaluated with
the general (non-uniform) Cox-de Boor recursion on an explicit knot vector, independent of the
library's in-place uniform form. Prints C++ initialisers; run by hand, the output is pasted."""
import math

MARGIN = 1e-07


def knots(x, M, p):
    lo, hi = min(x) - MARGIN, max(x) + MARGIN
    h = (hi - lo) / (M - p)
    # Extended past t[M] so that every basis function has its full support t[b] .. t[b+p+1].
    return [lo + (k - p) * h for k in range(M + p + 2)]


def basis(t, i, k, x):
    """Value at x of B-spline i of degree k on the knots t (Cox-de Boor)."""
    if k == 0:
        return 1.0 if t[i] <= x < t[i + 1] else 0.0
    left = (x - t[i]) / (t[i + k] - t[i]) * basis(t, i, k - 1, x)
    right = (t[i + k + 1] - x) / (t[i + k + 1] - t[i + 1]) * basis(t, i + 1, k - 1, x)
    return left + right


def design(x, M, p):
    t = knots(x, M, p)
    rows = []
    for xj in x:
        vals = [basis(t, b, p, xj) for b in range(M)]
        first = next(b for b in range(M) if vals[b] != 0.0)
        rows.append((first, vals[first:first + p + 1]))
    return rows


def emit(name, x, M, p):
    print(f"// {name}: M = {M}, p = {p}")
    print("{" + ", ".join(repr(v) for v in x) + "},")
    for first, vals in design(x, M, p):
        print("  {%d, {%s}}," % (first, ", ".join("%.17g" % v for v in vals)))


if __name__ == "__main__":
    xs = [0.0, 0.37, 1.25, 2.0, -0.8, 3.1415926, 5.0, 4.999, -0.79]
    emit("mixed", xs, 20, 3)
    emit("mixed", xs, 10, 2)
    emit("mixed", xs, 9, 5)
    emit("ends", [0.0, 0.5, 1.0], 20, 3)
    for M in (3, 5, 20, 40):
        print(f"// det_K_plus closed form M = {M}: {M * M * (M * M - 1) / 12}, "
              f"log {math.log(M * M * (M * M - 1) / 12)!r}")
