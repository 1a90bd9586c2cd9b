# One-command set-up on a fresh Debian machine: `make run` and `make test`.
BUILD ?= build
JOBS ?= 2

.PHONY: deps configure build test run format clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)

# Converts the bundled sample in a throwaway data folder and prints the result
# (with the main window when there is a display, in console mode otherwise).
run: build
	@bash scripts/run-sample.sh $(BUILD)/ui/vantrelix
