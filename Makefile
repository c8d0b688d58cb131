# The two set-up commands of the README, and the developer extras.
#   make test   install what is missing, build, run every test (unit, gl, gui)
#   make run    install what is missing, build, run the program on the bundled sample
#   make bench  benchmarks, side by side with their references (Release build)
#   make asan   every test under AddressSanitizer + UndefinedBehaviorSanitizer
#   make fuzz   libFuzzer harnesses (clang), FUZZ_SECONDS each

BUILD ?= build
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
# Warnings are errors in CI.
WERROR := $(if $(CI),ON,OFF)
CMAKE_FLAGS ?=

.PHONY: all deps build test run bench asan fuzz clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZMF_WERROR=$(WERROR) $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# One ctest run over every label; the gui label needs a display, so all of it runs under Xvfb.
test: build
	xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Until the editor window exists: the sample car through the renderer, headless, into a PNG.
run: build
	$(BUILD)/apps/zmftool/zmftool render $(BUILD)/data/samples/car/car.zmt -o $(BUILD)/sample-car.png
	@echo "the sample car, rendered: $(abspath $(BUILD))/sample-car.png"

bench: deps
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build build-bench -j $(JOBS) --target bench
	@for b in build-bench/bench/bench_*; do echo "== $$b"; $$b || exit 1; done

asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZMF_SANITIZE=ON -DZMF_BENCH=OFF
	cmake --build build-asan -j $(JOBS)
	xvfb-run -a ctest --test-dir build-asan --output-on-failure -j $(JOBS)

fuzz:
	@scripts/install-deps.sh --fuzz
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZMF_FUZZ=ON -DZMF_BENCH=OFF
	cmake --build build-fuzz -j $(JOBS) --target fuzzers
	@for f in build-fuzz/fuzz/*_fuzzer; do \
	  name=$$(basename $$f _fuzzer); mkdir -p build-fuzz/corpus/$$name build-fuzz/crashes; \
	  echo "fuzzing $$name for $(FUZZ_SECONDS)s"; \
	  $$f -max_total_time=$(FUZZ_SECONDS) -artifact_prefix=$(CURDIR)/build-fuzz/crashes/$$name- \
	      $(CURDIR)/build-fuzz/corpus/$$name $(CURDIR)/fuzz/corpus/$$name || exit 1; \
	done
	@echo "new crash inputs, if any, are in build-fuzz/crashes: add them to fuzz/corpus/<reader>/"

clean:
	rm -rf $(BUILD) build-bench build-asan build-fuzz
