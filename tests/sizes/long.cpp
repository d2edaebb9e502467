// Read by check-sizes.py with limits of 30 lines a file and 10 a function:
// TooLong and Widget::Draw exceed theirs, Fits and the braces in the
// string and the comment do not count.
const char* kBraces = "{ { { {";  // { {
int Fits(int a) {
    int b = a;
    b += 1;
    b += 2;
    b += 3;
    b += 4;
    b += 5;
    b += 6;
    return b;
}
int TooLong(int a) {
    auto f = [](int x) {
        return x + 1;
    };
    a = f(a);
    a = f(a);
    a = f(a);
    a = f(a);
    a = f(a);
    return a;
}
struct Widget {
    int Draw() const {
        int n = 0;
        n += 1;
        n += 2;
        n += 3;
        n += 4;
        n += 5;
        n += 6;
        n += 7;
        return n;
    }
};
