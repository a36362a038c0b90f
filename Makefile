.PHONY: test deps clean

# Installs what is missing, then builds and tests both targets.
test:
	scripts/test

deps:
	scripts/deps

clean:
	rm -rf build
