# The two commands: `make demo` and `make test`. Each installs what is
# missing, configures, builds and runs.
PRESET ?= default
JOBS   ?= $(shell echo $$(( $$(nproc) * 4 )))
BUILD  := build/$(PRESET)

.PHONY: all deps bench-deps build test demo bench asan tsan clean install package

all: build

deps:
	@sh scripts/install-deps.sh

bench-deps:
	@sh scripts/install-deps.sh bench

build: deps
	@test -f $(BUILD)/build.ninja || cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)

# Through the test preset, so a sanitizer build runs with its suppressions.
test: build
	ctest --preset $(PRESET) --output-on-failure -j $(JOBS) --timeout 300

# The demo builds what it runs: the library and the capture tool (which
# embeds the virtual camera); the tests are built by `make test`.
demo: deps
	@test -f $(BUILD)/build.ninja || cmake --preset $(PRESET)
	cmake --build --preset $(PRESET) --target pelnik-capture
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

# Debian packages for /usr, from a tree of their own (build/package).
package: deps
	@test -f build/package/build.ninja || cmake -S . -B build/package -G Ninja \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
	  -DPELNIK_BUILD_TESTS=OFF -DPELNIK_BUILD_BENCH=OFF
	cmake --build build/package
	cd build/package && cpack -G DEB

clean:
	rm -rf build
