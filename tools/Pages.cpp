#include "Pages.h"

#include <cstdio>

namespace tarnwick::sim::pages {

namespace {

const char* const kFooter =
    "<HR>\r\n"
    "<P><FONT SIZE=\"-1\">1-Wire HTTP Adapter, firmware 1.00 (simulated). "
    "<A HREF=\"/index.html\">Home</A></FONT></P>\r\n"
    "</BODY>\r\n"
    "</HTML>\r\n";

std::string head(const std::string& title) {
    return "<HTML>\r\n<HEAD>\r\n<TITLE>1-Wire Adapter: " + escape(title) +
           "</TITLE>\r\n<META HTTP-EQUIV=\"Pragma\" CONTENT=\"no-cache\">\r\n</HEAD>\r\n"
           "<BODY BGCOLOR=\"#FFFFFF\">\r\n<H2>" +
           escape(title) + "</H2>\r\n";
}

std::string input(const char* type, const std::string& name, const std::string& value,
                  const char* extra = "") {
    return std::string("<INPUT TYPE=\"") + type + "\" NAME=\"" + escape(name) + "\" VALUE=\"" +
           escape(value) + "\"" + extra + ">";
}

std::string row(const std::string& label, const std::string& field) {
    return "<TR><TD>" + escape(label) + "</TD><TD>" + field + "</TD></TR>\r\n";
}

}  // namespace

std::string escape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

std::string lockPage(const std::optional<std::string>& lockId) {
    std::string page = head("Get Lock");
    page += "<FORM NAME=\"GetLock\" METHOD=\"GET\" ACTION=\"/1Wire/GetLock.html\">\r\n";
    page += input("HIDDEN", "Command", "GetLock") + "\r\n";
    page += "<TABLE BORDER=\"1\" CELLPADDING=\"3\">\r\n";
    page += row("Bus", input("TEXT", "Bus_0", "0", " SIZE=\"4\" READONLY"));
    if (lockId) page += row("Lock ID", input("TEXT", "LockID_0", *lockId, " SIZE=\"12\" READONLY"));
    page += "</TABLE>\r\n";
    page += input("SUBMIT", "Submit", "Get Lock") + "\r\n</FORM>\r\n";
    page += "<P>Pass the lock ID with every request; release it when done.</P>\r\n";
    return page + kFooter;
}

std::string writeBlockPage(const std::string& address, const std::string& data,
                           const std::string& lockId, const std::optional<std::string>& result) {
    std::string page = head("Write Block");
    page += "<FORM NAME=\"WriteBlock\" METHOD=\"GET\" ACTION=\"/1Wire/WriteBlock.html\">\r\n";
    page += input("HIDDEN", "LockID", lockId) + "\r\n";
    page += "<TABLE BORDER=\"1\" CELLPADDING=\"3\">\r\n";
    page += row("Address", input("TEXT", "Address_0", address, " SIZE=\"20\""));
    page += row("Data", input("TEXT", "Data_0", data, " SIZE=\"40\""));
    if (result) page += row("Result", input("TEXT", "ResultData_0", *result, " SIZE=\"40\""));
    page += "</TABLE>\r\n";
    page += input("SUBMIT", "Submit", "Write Block") + "\r\n</FORM>\r\n";
    return page + kFooter;
}

std::string releasePage(const std::string& lockId) {
    std::string page = head("Release Lock");
    page += "<FORM NAME=\"ReleaseLock\" METHOD=\"GET\" ACTION=\"/1Wire/ReleaseLock.html\">\r\n";
    page += input("HIDDEN", "LockID", lockId) + "\r\n";
    page += "<P>Lock released.</P>\r\n</FORM>\r\n";
    return page + kFooter;
}

std::string errorPage(int status, const std::string& message) {
    std::string page = head("Error");
    page += "<P><B>Error " + std::to_string(status) + "</B>: " + escape(message) + "</P>\r\n";
    page += "<FORM NAME=\"Error\" METHOD=\"GET\" ACTION=\"/1Wire/GetLock.html\">\r\n";
    page += input("HIDDEN", "Status", std::to_string(status)) + "\r\n";
    page += input("SUBMIT", "Submit", "Get Lock") + "\r\n</FORM>\r\n";
    return page + kFooter;
}

std::string padded(const std::string& page, std::size_t size) {
    const std::size_t at = page.find("<FORM");
    if (at == std::string::npos || size <= page.size()) return page;
    const std::size_t room = size - page.size();
    std::string listing = "<PRE>\r\n";
    char line[64];
    for (unsigned n = 0; listing.size() + 48 < room; ++n) {
        std::snprintf(line, sizeof line, "%08u  bus 0  idle  search 0  presence 1\r\n", n);
        listing += line;
    }
    listing += "</PRE>\r\n";
    if (listing.size() < room) listing.append(room - listing.size(), ' ');
    return page.substr(0, at) + listing + page.substr(at);
}

}  // namespace tarnwick::sim::pages
