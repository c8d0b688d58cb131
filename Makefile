# The two set-up commands of the README, and the developer extras.
#   make test   install what is missing, build, run every test (unit, gl, gui)
#   make run    install what is missing, build, run the program on the bundled sample
#   make bench  benchmarks, side by side with their references (Release build)
#   make asan   every test under AddressSanitizer + UndefinedBehaviorSanitizer
#   make fuzz   libFuzzer harnesses (clang), FUZZ_SECONDS each
#   make fuzz-long  the campaign: each harness until 10 M executions or FUZZ_LONG_SECONDS

BUILD ?= build
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
FUZZ_LONG_SECONDS ?= 1800
FUZZERS ?= $(notdir $(wildcard fuzz/corpus/*))
# Warnings are errors in CI.
WERROR := $(if $(CI),ON,OFF)
CMAKE_FLAGS ?=

.PHONY: all deps build test run bench asan fuzz fuzz-long clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZMF_WERROR=$(WERROR) $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# One ctest run over every label; the gui label needs a display, so all of it runs under Xvfb.
# -noreset: the server would otherwise reset when its last client goes (a killed editor, say),
# and a program connecting just then finds no display.
XVFB := xvfb-run -a -s "-screen 0 1280x1024x24 -noreset"
test: build
	$(XVFB) ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The editor on the bundled sample car; without a display, the sample rendered into a PNG.
run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD)/apps/zmfedit/zmfedit $(BUILD)/data/samples/car/car.zmt; \
	else \
	  $(BUILD)/apps/zmftool/zmftool render $(BUILD)/data/samples/car/car.zmt -o $(BUILD)/sample-car.png && \
	  echo "no display: the sample car, rendered, is in $(abspath $(BUILD))/sample-car.png"; \
	fi

bench: deps
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build build-bench -j $(JOBS) --target bench
	@for b in build-bench/bench/bench_*; do echo "== $$b"; $$b || exit 1; done

asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZMF_SANITIZE=ON -DZMF_BENCH=OFF
	cmake --build build-asan -j $(JOBS)
	$(XVFB) ctest --test-dir build-asan --output-on-failure -j $(JOBS)

# The harness's dictionary of format tags, when fuzz/dict has one.
fuzz_dict = $$(test -f fuzz/dict/$(1).dict && echo -dict=$(CURDIR)/fuzz/dict/$(1).dict)

fuzz:
	@scripts/install-deps.sh --fuzz
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZMF_FUZZ=ON -DZMF_BENCH=OFF
	cmake --build build-fuzz -j $(JOBS) --target fuzzers
	@for f in build-fuzz/fuzz/*_fuzzer; do \
	  name=$$(basename $$f _fuzzer); mkdir -p build-fuzz/corpus/$$name build-fuzz/crashes; \
	  echo "fuzzing $$name for $(FUZZ_SECONDS)s"; \
	  $$f $(call fuzz_dict,$$name) -max_total_time=$(FUZZ_SECONDS) -artifact_prefix=$(CURDIR)/build-fuzz/crashes/$$name- \
	      $(CURDIR)/build-fuzz/corpus/$$name $(CURDIR)/fuzz/corpus/$$name || exit 1; \
	done
	@echo "new crash inputs, if any, are in build-fuzz/crashes: add them to fuzz/corpus/<reader>/"

# Each harness of FUZZERS (all by default) in turn; the final statistics of each run are kept in
# build-fuzz/logs/<reader>.log for the table in fuzz/README.md.
fuzz-long:
	@scripts/install-deps.sh --fuzz
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZMF_FUZZ=ON -DZMF_BENCH=OFF
	cmake --build build-fuzz -j $(JOBS) --target fuzzers
	@mkdir -p build-fuzz/logs build-fuzz/crashes
	@for name in $(FUZZERS); do \
	  mkdir -p build-fuzz/corpus/$$name; echo "fuzzing $$name: 10 M runs or $(FUZZ_LONG_SECONDS)s"; \
	  build-fuzz/fuzz/$${name}_fuzzer $(call fuzz_dict,$$name) -runs=10000000 -max_total_time=$(FUZZ_LONG_SECONDS) \
	      -timeout=1 -print_final_stats=1 -artifact_prefix=$(CURDIR)/build-fuzz/crashes/$$name- \
	      $(CURDIR)/build-fuzz/corpus/$$name $(CURDIR)/fuzz/corpus/$$name \
	      > build-fuzz/logs/$$name.log 2>&1 || echo "$$name: finding, see build-fuzz/logs/$$name.log"; \
	  grep -E "^stat::|^Done" build-fuzz/logs/$$name.log; \
	done

clean:
	rm -rf $(BUILD) build-bench build-asan build-fuzz
