"""What the package checks share: failures gathered, then reported at once."""

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def report():
    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(failures)} failed")
    return 1 if failures else 0
