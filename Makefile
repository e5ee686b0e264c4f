# The two set-up commands: `make run` and `make test`. Both install what is missing first.
BUILD      ?= build
TEST_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
PREFIX     ?= /usr/local
GENERATOR  := -G Ninja

.PHONY: run test deps build build-test install bench fuzz clean

deps:
	scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORNELIC_TESTS=OFF -DCMAKE_INSTALL_PREFIX="$(PREFIX)"
	cmake --build $(BUILD) -j $(JOBS)

# The programs, the manual, the desktop entry and the icon under PREFIX (bin/, share/).
install: build
	cmake --install $(BUILD) --prefix "$(PREFIX)"

# The desktop program when there is a display, else the headless job.
run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD)/bin/vornelic; \
	else \
	  scripts/headless-demo $(BUILD)/bin; \
	fi

build-test: deps
	cmake -S . -B $(TEST_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DVORNELIC_SANITIZE=ON
	cmake --build $(TEST_BUILD) -j $(JOBS)

test: build-test
	cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B build-bench $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DVORNELIC_BENCH=ON -DVORNELIC_TESTS=OFF
	cmake --build build-bench -j $(JOBS)
	bench/run-all build-bench

# Every parser under libFuzzer with the sanitizers, FUZZ_SECONDS each (default 10 minutes); new
# crashes are kept under tests/data/regressions/, which `make test` replays.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 600
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORNELIC_FUZZ=ON -DVORNELIC_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_all
	FUZZ_SECONDS=$(FUZZ_SECONDS) fuzz/run-fuzz $(FUZZ_BUILD)

clean:
	rm -rf $(BUILD) $(TEST_BUILD) build-bench $(FUZZ_BUILD)
