#include "app/cli/cli.h"
#include "app/cli/os.h"

int main(int argc, char** argv) {
    cli::guardStandardStreams();
    return cli::run(cli::arguments(argc, argv));
}
