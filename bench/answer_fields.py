"""zorvat.Answer on a keyed answer of 100,000 items: reading every field, by
name and through ``fields``, against one split of the text. Each figure is
the best of five runs, given as a ratio to the split measured in the same run.

    ZORVAT_LIBRARY=build/src/libzorvat.so.1 PYTHONPATH=bindings/python \\
        python3 bench/answer_fields.py
"""

import time

from zorvat import Answer

COUNT = 100_000


def best_of_five(run) -> float:
    best = float("inf")
    for _ in range(5):
        started = time.perf_counter()
        run()
        best = min(best, time.perf_counter() - started)
    return best


def main() -> None:
    names = [f"F{i}" for i in range(COUNT)]
    text = "\x1c".join(["\xfe".join(["LIST"] + names)] + [f"value {i}" for i in range(COUNT)])

    def by_name() -> None:
        answer = Answer(text)
        for name in names:
            answer[name]

    def through_fields() -> None:
        for _ in Answer(text).fields.items():
            pass

    split = best_of_five(lambda: text.split("\x1c"))
    print(f"one split of {COUNT:,} items: {split * 1e3:.1f} ms")
    for label, run in (("answer[name] for every field", by_name), ("fields.items()", through_fields)):
        print(f"{label}: {best_of_five(run) / split:.1f} x one split")


if __name__ == "__main__":
    main()
