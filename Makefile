# Front door for building and testing; CMake does the real work.
#   make test             bootstrap, configure, build and run the whole suite
#   make test SANITIZE=1  the same with AddressSanitizer + UndefinedBehaviorSanitizer
#   make bench            build and run the benchmarks (release build)
#   make format           apply .clang-format to every source file

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

CMAKE_FLAGS = -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DAMBIVOX_WERROR=$(WERROR) \
              -DAMBIVOX_SANITIZE=$(if $(filter 1,$(SANITIZE)),ON,OFF)

.PHONY: all bootstrap configure build test bench format clean

all: build

bootstrap:
	@scripts/bootstrap

configure: bootstrap
	@cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench: bootstrap
	@cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DAMBIVOX_WERROR=$(WERROR) >/dev/null
	@cmake --build $(BENCH_DIR) -j $(JOBS)
	@for b in $(BENCH_DIR)/bench/*_bench; do echo "== $$b"; $$b; done

format:
	@git ls-files '*.h' '*.cpp' | xargs clang-format -i

clean:
	rm -rf build
