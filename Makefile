# Thin wrapper over the CMake presets. `make demo` and `make test` are the two
# commands of the README; both install what they need first.

.PHONY: all deps demo test test-tsan fuzz package build dev release bench clean

all: dev

deps:
	@scripts/install-deps

dev: deps
	cmake --preset dev
	cmake --build --preset dev

build: dev

test: deps
	cmake --preset ci
	cmake --build --preset ci
	ctest --preset ci

# The thread, metrics and pool tests under ThreadSanitizer (build/tsan).
test-tsan: deps
	cmake --preset tsan
	cmake --build --preset tsan
	ctest --preset tsan

# Every libFuzzer target for a short time (FUZZ_SECONDS each, default 20;
# tests/fuzz/durations gives some more), as many at once as there are cores.
fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz
	scripts/run-fuzzers build/fuzz $(FUZZ_SECONDS)

release: deps
	cmake --preset release
	cmake --build --preset release

demo: release
	@scripts/run-demo build/release

# The .deb of the release build (build/release/package/).
package: release
	cd build/release && cpack

bench: release
	@bench/run-all build/release

clean:
	rm -rf build var
