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
	./scripts/run-tessary $(BUILD)

test: all
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

# The whole suite once more with AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize:
	$(MAKE) test BUILD=build-sanitize CMAKE_FLAGS="-DTESSARY_SANITIZE=ON -DTESSARY_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug"

bench: all
	./bench/run-all $(BUILD)

clean:
	rm -rf build build-sanitize
