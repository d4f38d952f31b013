// The product's version, stamped into the version blocks of the shipped
// binaries and the installer (which also writes it as the machine-wide
// "version" value).
#pragma once

#define PRODUCT_VERSION_NUMBERS 1,28,1,15
#define PRODUCT_VERSION_TEXT "1, 28, 1, 15"
