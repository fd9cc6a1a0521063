// The program that each layer-check target links one library into whole: it
// exists only so that the linker must resolve every symbol of that library
// from the layers below it. It is built, never run.
int main() {
    return 0;
}
