# Front door for building and testing; CMake does the real work.
#   make test             bootstrap, configure, build and run the whole suite
#   make test SANITIZE=1  the same with AddressSanitizer + UndefinedBehaviorSanitizer
#   make bench            build and run the benchmarks (release build)
#   make fuzz             build the fuzz targets with Clang and run each for FUZZ_SECONDS
#   make demo             build the ambivox program and run `ambivox demo` (simulated devices)
#   make install          build the release tree and install it into PREFIX (default /usr/local)
#   make format           apply .clang-format to every source file
#   make format-check     fail when a source file differs from what .clang-format makes of it
#   make layout-check     fail when the runtime's folders include upward or tests/ code ships
#   make install-check    install into a temporary prefix and build clients against it alone

SHELL := /bin/bash

SANITIZE ?= 0
WERROR ?= $(if $(CI),ON,OFF)
JOBS ?= $(shell nproc)

ifeq ($(SANITIZE),1)
BUILD_DIR ?= build/asan
BUILD_TYPE ?= Debug
else
BUILD_DIR ?= build/debug
BUILD_TYPE ?= Debug
endif
BENCH_DIR ?= build/release
FUZZ_DIR ?= build/fuzz
FUZZ_SECONDS ?= 60
INSTALL_BUILD_DIR ?= build/install
PREFIX ?= /usr/local

CMAKE_FLAGS = -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DAMBIVOX_WERROR=$(WERROR) \
              -DAMBIVOX_SANITIZE=$(if $(filter 1,$(SANITIZE)),ON,OFF) \
              -DAMBIVOX_BENCH=$(if $(filter 1,$(SANITIZE)),OFF,ON)

.PHONY: all bootstrap bootstrap-build configure build test bench fuzz demo install format \
        format-check layout-check install-check clean

all: build

bootstrap:
	@scripts/bootstrap

# What building and running need, without the test, fuzzing and benchmark tools.
bootstrap-build:
	@scripts/bootstrap build

configure: bootstrap
	@cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench: bootstrap
	@cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DAMBIVOX_WERROR=$(WERROR) >/dev/null
	@cmake --build $(BENCH_DIR) -j $(JOBS)
	@rm -rf $(BENCH_DIR)/bench-results; mkdir -p $(BENCH_DIR)/bench-results
	@for b in $(BENCH_DIR)/bin/*_bench; do echo "== $$b"; \
	    $$b --benchmark_out=$(BENCH_DIR)/bench-results/$$(basename $$b).json \
	        --benchmark_out_format=json || exit 1; done
	@python3 bench/summary.py $(BENCH_DIR)/bench-results

# Each target starts from its seed corpus (copied, so runs never write into the tree).
fuzz: bootstrap
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DAMBIVOX_TESTS=OFF -DAMBIVOX_BENCH=OFF -DAMBIVOX_WERROR=$(WERROR) >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS)
	@for f in $(FUZZ_DIR)/bin/*_fuzz; do \
	    name=$$(basename $$f _fuzz); corpus=$(FUZZ_DIR)/corpus/$$name; \
	    rm -rf $$corpus; mkdir -p $$corpus; cp fuzz/corpus/$$name/* $$corpus/ 2>/dev/null; \
	    echo "== $$f ($(FUZZ_SECONDS) s)"; \
	    $$f $$corpus -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 -print_final_stats=1 2>&1 \
	        | grep -E 'stat::number_of_executed_units|stat::peak_rss_mb|ERROR|SUMMARY' ; \
	    test $${PIPESTATUS[0]} -eq 0 || exit 1; \
	done

# The program and the module beside it; the demo needs no root, hardware or network. Without
# GoogleTest and Benchmark the configuration leaves the tests and benchmarks out.
demo: bootstrap-build
	@cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target ambivox
	@$(BUILD_DIR)/bin/ambivox demo

# A release tree of its own, then everything a user and a client need: ambivox, ambivox-regsvr,
# the runtime, the module, headers, pkg-config and CMake files.
install: bootstrap-build
	@cmake -S . -B $(INSTALL_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	    -DAMBIVOX_TESTS=OFF -DAMBIVOX_BENCH=OFF -DAMBIVOX_WERROR=$(WERROR) >/dev/null
	@cmake --build $(INSTALL_BUILD_DIR) -j $(JOBS)
	@cmake --install $(INSTALL_BUILD_DIR) --prefix $(PREFIX)

format:
	@git ls-files '*.h' '*.cpp' | xargs clang-format -i

format-check: bootstrap
	@git ls-files '*.h' '*.cpp' | xargs clang-format --dry-run --Werror
	@echo "format-check: passed"

layout-check:
	@scripts/check-layout

install-check: bootstrap
	@JOBS=$(JOBS) WERROR=$(WERROR) scripts/check-install

clean:
	rm -rf build
