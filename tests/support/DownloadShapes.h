// Price files shaped like the downloads of public sources, written by the tests themselves, with
// what each holds as `korvex-cli export` prints it.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct DownloadShape {
    const char* name;
    std::string input;
    std::string exported;  // what export prints after the file is converted
};

inline std::vector<DownloadShape> DownloadShapes() {
    const std::string ohlcv =
        "Date,Open,High,Low,Close,Volume\n"
        "2024-01-02,187.15,188.44,183.89,185.64,82488700\n"
        "2024-01-03,184.22,185.88,183.43,184.25,58414500\n";
    return {
        {"yahoo",
         "Date,Open,High,Low,Close,Adj Close,Volume\n"
         "2024-01-02,187.15,188.44,183.89,185.64,184.94,82488700\n"
         "2024-01-03,184.22,185.88,183.43,184.25,183.55,58414500\n",
         ohlcv},
        {"stooq",
         "Date,Open,High,Low,Close,Volume\r\n"
         "2024-01-02,187.15,188.44,183.89,185.64,82488700\r\n"
         "2024-01-03,184.22,185.88,183.43,184.25,58414500\r\n",
         ohlcv},
        {"tickers",
         "<TICKER>,<PER>,<DTYYYYMMDD>,<TIME>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>,<OPENINT>\n"
         "ACME,D,20240102,000000,187.15,188.44,183.89,185.64,82488700,12\n"
         "ACME,D,20240103,000000,184.22,185.88,183.43,184.25,58414500,14\n",
         "Date,Open,High,Low,Close,Volume,OpenInterest\n"
         "2024-01-02,187.15,188.44,183.89,185.64,82488700,12\n"
         "2024-01-03,184.22,185.88,183.43,184.25,58414500,14\n"},
        {"blanks",
         "SYMBOL, INTERVAL, DATE, OPEN, HIGH, LOW, CLOSE, VOLUME\n"
         "ACME, D, 01/02/2024, 187.15, 188.44, 183.89, 185.64, 82488700\n"
         "ACME, D, 01/03/2024, 184.22, 185.88, 183.43, 184.25, 58414500\n",
         ohlcv},
        {"european",
         "Date;Open;High;Low;Close;Volume\n"
         "02.01.2024;187,15;188,44;183,89;185,64;82488700\n"
         "03.01.2024;184,22;185,88;183,43;184,25;58414500\n",
         ohlcv},
        {"tabs",
         "20240102\t187.15\t188.44\t183.89\t185.64\t82488700\n"
         "20240103\t184.22\t185.88\t183.43\t184.25\t58414500\n",
         ohlcv},
        {"month names",
         "Date,Open,High,Low,Close,Volume,Change %\n"
         "02-Jan-2024,187.15,188.44,183.89,185.64,82488700,0.5%\n"
         "03-Jan-2024,184.22,185.88,183.43,184.25,58414500,-0.75%\n",
         ohlcv},
        // A price site: everything quoted, the close headed Price, the volume Vol. in millions,
        // prices with grouping commas, a Change % column, the newest day first.
        {"price site",
         "\"Date\",\"Price\",\"Open\",\"High\",\"Low\",\"Vol.\",\"Change %\"\n"
         "\"01/03/2024\",\"6,184.25\",\"6,184.22\",\"6,185.88\",\"6,183.43\",\"58.41M\","
         "\"-0.02%\"\n"
         "\"01/02/2024\",\"6,185.64\",\"6,187.15\",\"6,188.44\",\"6,183.89\",\"82.49M\","
         "\"0.05%\"\n",
         "Date,Open,High,Low,Close,Volume\n"
         "2024-01-02,6187.15,6188.44,6183.89,6185.64,82490000\n"
         "2024-01-03,6184.22,6185.88,6183.43,6184.25,58410000\n"},
        {"newest-first",
         "\"Date\",\"Close\",\"Volume\"\n"
         "\"2024-01-03\",\"184.25\",\"58414500\"\n"
         "\"2024-01-02\",\"185.64\",\"82488700\"\n",
         "Date,Close,Volume\n2024-01-02,185.64,82488700\n2024-01-03,184.25,58414500\n"},
    };
}

}  // namespace testing_support
