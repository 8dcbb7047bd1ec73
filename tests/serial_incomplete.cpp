// A serial library with every operation but _InputCount.
extern "C" {
int _Connected(void) { return 0; }
void _Open(const char*, int) {}
void _Close(void) {}
void _ClearBuffers(int, int) {}
void _SetBaudrate(int) {}
void _WriteTimeouts(int, int) {}
void _ReadTimeouts(int, int, int) {}
int _Write(const void*, int) { return 0; }
int _Read(void*, int) { return 0; }
void _SetTwoStopBits(int) {}
void _SetParity(int) {}
void _SetDTR(int) {}
void _SetRTS(int) {}
}
