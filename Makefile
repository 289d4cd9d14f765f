# Entry points for people: `make run`, `make test`, `make bench`.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all configure run test sanitize bench clean

all: configure
	cmake --build $(BUILD) -j$(JOBS)

configure:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) > /dev/null

run: all
	$(BUILD)/bin/Tessary

test: all
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

# The whole suite once more with AddressSanitizer and UndefinedBehaviorSanitizer.
# Huge allocations must fail as they do in a release build, not abort.
sanitize: export ASAN_OPTIONS = allocator_may_return_null=1:detect_leaks=1
sanitize: export UBSAN_OPTIONS = print_stacktrace=1:halt_on_error=1
sanitize:
	$(MAKE) test BUILD=build-sanitize CMAKE_FLAGS="-DTESSARY_SANITIZE=ON -DTESSARY_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug"

bench: all
	bench/run-all $(BUILD)

clean:
	rm -rf build build-sanitize
