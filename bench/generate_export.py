#!/usr/bin/env python3
"""Writes a realistic, seeded appointment export: a header line, then
date, time, patient name (quoted, with a comma), doctor, phone, location and
e-mail, CR LF line ends."""
import random
import sys

FIRST = ["John", "Jane", "Maria", "Ahmed", "Li", "Olga", "Pedro", "Aisha", "Tom", "Grace",
         "Hiroshi", "Fatima", "Lukas", "Ana", "Sven", "Chloe"]
LAST = ["Doe", "Roe", "Garcia", "Khan", "Wei", "Ivanova", "Silva", "Okafor", "Miller", "Chen",
        "Tanaka", "Haddad", "Schmidt", "Costa", "Berg", "Martin"]
DOCTORS = ["Dr. Patel", "Dr. Lee", "Dr. Nguyen", "Dr. O'Brien", "Dr. Rossi", "Dr. Kowalski"]
PLACES = ["Main Street Clinic", "North Wing Room 2", "Riverside Office", "Downtown Suite 400"]


def main() -> None:
    lines = int(sys.argv[1])
    out_path = sys.argv[2]
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 2026
    rng = random.Random(seed)
    with open(out_path, "w", newline="") as out:
        out.write("Date,Time,Patient,Doctor,Phone,Location,Email\r\n")
        for _ in range(lines):
            first, last = rng.choice(FIRST), rng.choice(LAST)
            hour = rng.randint(1, 12)
            minute = rng.choice([0, 5, 10, 15, 20, 30, 40, 45, 50])
            out.write(
                f"{rng.randint(1, 12)}/{rng.randint(1, 28)}/{rng.randint(2025, 2027)},"
                f"{hour}:{minute:02d} {rng.choice(['am', 'pm'])},"
                f"\"{last}, {first}\",{rng.choice(DOCTORS)},"
                f"555-{rng.randint(0, 9999):04d},{rng.choice(PLACES)},"
                f"{first.lower()}.{last.lower()}{rng.randint(1, 999)}@example.com\r\n")


if __name__ == "__main__":
    main()
