# The two commands of the README. Each does all set-up on a fresh Debian 12 machine.
#   make run    builds Palmeno and runs it against the local demo service
#   make test   builds everything (default and sanitizer presets) and runs every test

JOBS ?= $(shell nproc)

.PHONY: setup build build-asan build-fuzz run test test-unit fuzz-smoke check-format clean

setup:
	tools/setup

build: setup
	cmake --preset default
	cmake --build --preset default -j $(JOBS)

build-asan: setup
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)

build-fuzz: setup
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)

run: build
	tools/run-palmeno build/default

# The formatting check first, then the unit tests under the sanitizers, a short run of each
# fuzz target, and every test of the default build (unit, the GTK smoke test and the
# acceptance tests); the last line is CTest's summary.
test: build build-asan build-fuzz
	tools/check-format
	ctest --preset asan -j $(JOBS)
	tools/fuzz-smoke build/fuzz
	ctest --preset default -j $(JOBS)

check-format: setup
	tools/check-format

fuzz-smoke: build-fuzz
	tools/fuzz-smoke build/fuzz

test-unit: build
	ctest --preset default -L unit -j $(JOBS)

clean:
	rm -rf build
