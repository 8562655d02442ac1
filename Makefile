# Quick start: `make run` builds and starts the viewer, `make test` builds and runs every test.
# Both install the Debian packages they need first.

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
MAKEFLAGS += --no-print-directory
JOBS       ?= $(shell nproc)
XVFB        = xvfb-run -a -s "-screen 0 1280x800x24 -noreset"

.PHONY: all deps build run test test-asan fuzz clean

all: build

deps:
	@./scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# Only the viewer and what it links, not the tests and benchmarks.
run: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target kivoa
	./$(BUILD)/kivoa

# The core library's tests once more under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKIVOA_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS) --target kivoa_core_tests
	./$(ASAN_BUILD)/kivoa_core_tests --gtest_brief=1

# The structure readers and the settings parser under libFuzzer (clang), about 30 s each,
# seeded with the test files.
fuzz: deps
	@FUZZ_BUILD=$(FUZZ_BUILD) JOBS=$(JOBS) ./scripts/run-fuzz.sh

test: build test-asan fuzz
	$(XVFB) ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
