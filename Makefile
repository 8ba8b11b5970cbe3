# The two commands: `make demo` and `make test`. Each installs what is
# missing, configures, builds and runs.
PRESET ?= default
JOBS   ?= $(shell echo $$(( $$(nproc) * 4 )))
BUILD  := build/$(PRESET)

.PHONY: all deps bench-deps build test demo bench asan tsan clean install

all: build

deps:
	@sh scripts/install-deps.sh

bench-deps:
	@sh scripts/install-deps.sh --bench

build: deps
	@test -f $(BUILD)/build.ninja || cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 300

demo: build
	@sh scripts/demo.sh $(BUILD)

bench: bench-deps
	@test -f build/default/build.ninja || cmake --preset default
	cmake --build --preset default
	@sh scripts/bench.sh build/default

asan:
	$(MAKE) test PRESET=asan-ubsan

tsan:
	$(MAKE) test PRESET=tsan

install: build
	cmake --install $(BUILD) $(if $(PREFIX),--prefix $(PREFIX))

clean:
	rm -rf build
