#!/usr/bin/env python3
"""Golden values for tests/score/bde_test.cpp: the BDe score of a child and its parents from
first principles, in plain Python.

Independent of the library's route: states by int() (truncation toward zero), the samples grouped
by the tuple of their parents' states in a dict (which keeps the first-seen order), every count
of the child's states, and minus twice the log marginal likelihood under Dirichlet priors with
pseudo-count 1, from math.lgamma. Run by hand; the printed initialisers are pasted into the
test."""
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bnrc_golden import lcg  # noqa: E402  the same deterministic uniform draws


def fixture(m=30):
    """Five nodes of m samples: a three-state root, a binary root, a child of both with noise,
    a real-valued node whose states come by truncation, and an unrelated two-state node."""
    u = lcg(11)
    a = [int(3 * next(u)) for _ in range(m)]
    b = [int(2 * next(u)) for _ in range(m)]
    c = [(x + y) % 3 if next(u) < 0.8 else int(3 * next(u)) for x, y in zip(a, b)]
    d = [round(2.999 * next(u), 3) for _ in range(m)]  # states 0, 1, 2 by truncation
    e = [int(2 * next(u)) for _ in range(m)]
    return [a, b, c, d, e]


def states(data, i):
    return 1 + int(max([0.0] + data[i]))


def bde(data, child, parents):
    r = states(data, child)
    counts = {}
    for s in range(len(data[child])):
        key = tuple(int(data[p][s]) for p in parents)
        row = counts.setdefault(key, [0] * r)
        row[int(data[child][s])] += 1
    total = 0.0
    for row in counts.values():
        n = sum(row)
        total += math.lgamma(r) - math.lgamma(n + r) + sum(math.lgamma(k + 1.0) for k in row)
    return -2.0 * total


def main():
    data = fixture()
    print("// fixture: %d nodes x %d samples" % (len(data), len(data[0])))
    for row in data:
        print("{" + ", ".join(repr(v) if isinstance(v, float) else str(v) for v in row) + "},")
    cases = [(2, []), (0, []), (3, []), (2, [0]), (2, [1]), (2, [3]), (0, [2]), (2, [0, 1]),
             (2, [1, 0]), (2, [0, 3]), (4, [0, 1]), (3, [2, 4]), (2, [0, 1, 4])]
    for child, parents in cases:
        print("    {%d, {%s}, %r}," % (child, ", ".join(map(str, parents)), bde(data, child, parents)))


if __name__ == "__main__":
    main()
