# One-command set-up on a fresh Debian machine: `make run` and `make test`.
BUILD ?= build
JOBS ?= 2
# Warnings are errors in CI (which sets CI=true).
WERROR ?= $(if $(CI),ON,OFF)

.PHONY: deps configure build program test test-asan release-build fuzz fuzz-smoke run package format format-check clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTRELIX_WERROR=$(WERROR) > /dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

# The program alone, without the tests.
program: configure
	@cmake --build $(BUILD) -j$(JOBS) --target vantrelix

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

format-check: deps
	clang-format --dry-run -Werror $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)

# Converts the bundled sample in a throwaway data folder and prints the result
# (with the main window when there is a display, in console mode otherwise).
run: program
	@bash scripts/run-sample.sh $(BUILD)/ui/vantrelix

# The optimised build, tests and benchmarks included, warnings as errors: the
# optimiser sees warnings the default build does not. Built, not run.
RELEASE_BUILD ?= build-release
release-build: deps
	@cmake -S . -B $(RELEASE_BUILD) -DCMAKE_BUILD_TYPE=Release -DVANTRELIX_WERROR=ON > /dev/null
	@cmake --build $(RELEASE_BUILD) -j$(JOBS)

# The engine and its tests under AddressSanitizer and UndefinedBehaviorSanitizer;
# any report fails the run.
ASAN_BUILD ?= build-asan
test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVANTRELIX_ENGINE_ONLY=ON -DVANTRELIX_WERROR=$(WERROR) \
	  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" > /dev/null
	@cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j$(JOBS)

# The fuzz targets, each for FUZZ_SECONDS (libFuzzer, clang); fuzz-smoke is CI's short run.
FUZZ_SECONDS ?= 600
fuzz: deps
	bash fuzz/run.sh $(FUZZ_SECONDS)

fuzz-smoke: deps
	bash fuzz/run.sh 20

# The Debian package: build/vantrelix_<version>_<arch>.deb
package: build
	cd $(BUILD) && cpack
