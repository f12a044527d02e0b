// SPDX-License-Identifier: GPL-3.0-or-later
// The user manual shown by the help window.
#include "app/help_form.h"

namespace varistrum {

QString UserManualHtml() {
    return QStringLiteral(R"(
<h2>Varistrum CW User Manual</h2>

<h3>Introduction</h3>
<p>Varistrum CW turns the binary drive-test log files of the Tavrel CW scanning receiver into
delimited text. A log file (<i>*.klf</i>, or a truncated <i>*.qel</i> file) holds the signal
levels the receiver measured, the GPS fixes of the vehicle and clock stamps. The output file
(<i>*.out</i>) has one line per measured point with the fields you choose, ready for a mapping
or post-processing program.</p>
<p>Optional filters reduce the data to the best server, average it over 40 wavelengths of
driving distance, drop data recorded while GPS was lost, and split large outputs into files of
at most 60000 records.</p>

<h3>Installation</h3>
<p>Build the program with CMake and install it, or start <i>varistrum</i> from the build
folder. The desktop entry puts Varistrum CW into the application menu. The program keeps no
settings of its own: save the ones you use often as a configuration file.</p>

<h3>Running the Application</h3>
<p>Start Varistrum CW from the application menu or run <i>varistrum</i>. The main window shows
the whole workflow at once, from the input file at the top left to the CONVERT button at the
bottom. Work through the four steps below in order. You can also drop a log file onto the
window instead of using Browse.</p>

<h3>Main Menu</h3>
<ul>
<li><b>Application &gt; Open Configuration</b> restores the input and output names, the
filters, the delimiter, the header option and both field lists from a <i>*.cfg</i> file. When
the configuration names a log file, that file is indexed. Field rows whose names are not
output fields are left out, and a message says how many.</li>
<li><b>Application &gt; Save Configuration</b> writes those settings into a <i>*.cfg</i>
file.</li>
<li><b>Application &gt; Exit</b> ends the program.</li>
<li><b>Help &gt; Contents &amp; Index</b> opens this manual; <b>Help &gt; About</b> shows the
version.</li>
</ul>

<h3>Step 1 - Select Input / Output</h3>
<p><b>Single File:</b> press the Browse button beside <i>Input</i> and choose a log file. A file
that is not a log file of the receiver is refused. The output name is set to the input name with
its extension replaced by <i>.out</i>; press the Browse button beside <i>Output</i> to choose another one.
The file is then indexed: a wait box shows the progress, the scans of the file appear in the
<i>Scans</i> tree and seven record counts in <i>FILE STATISTICS</i>. Every scan starts checked;
click a scan (or select it and press the space bar) to leave it out of the conversion.</p>
<p><b>Multiple Files:</b> choose the folder of the log files and the folder for the output
files with their Browse buttons. The input pattern (<i>*.klf</i> or <i>*.qel</i>) selects the
files and the output extension names the results. Once both folders are set, COUNT shows how
many files will be converted. Every scan of every file is converted.</p>

<h3>Step 2 - Choose Formatting Options</h3>
<ul>
<li><b>Data Reduction:</b> <i>Convert All Data</i> keeps every measurement; <i>Best
Server</i> keeps the strongest channel of each list record and of each table sweep. A sweep
ends where the channels start again; its line is written with the record in which it ends. The
last sweep of a table scan never ends and is not written.</li>
<li><b>Average Type:</b> <i>40 Lambda</i> averages the levels over bins of 40 wavelengths of
driving distance. When the file does not tell the receiver frequencies, you are asked for them
before the conversion starts; the range of each receiver is shown beside its field.
<i>Average in linear power (mW)</i> averages the samples' power instead of their dBm values (under
Rayleigh fading about 2.5 dB higher). When a scan holds a median below 36 samples per window
(Lee's criterion), you are asked before the conversion starts. View, <i>Drive Quality...</i>
shows the measurement quality of the input file: first per frequency across the scans, with a
verdict that only the averaged channels (receiver samples) decide; per channel it gives the share
at or above each level threshold of the samples, of the distance and of the area (cells of
25 m). View, <i>Coverage Bins...</i> bins every sample of the checked scans (before any
averaging) into square cells of a UTM grid and writes each cell's statistics as a coverage raster
(.tif, with its QGIS style .qml) or a GeoPackage (.gpkg). In the map window, <i>Cells</i> draws
cells where the points would pile up, and <i>Compare With...</i> shows another drive of the same
route minus this one, cell by cell. View, <i>Calibrate
Model...</i> fits a path-loss model (log-distance and Hata) to the input file's local means,
averaged in power, against a sites file of the transmitters, shows the figures and the plot, and
saves the report, the plot and the residual layer together.</li>
<li><b>Data Source:</b> the receiver whose data is converted.</li>
<li><b>Field Data:</b> the columns of the data block: frequency in MHz, channel and RSSI.</li>
<li><b>Output File Split:</b> writes outputs longer than 60000 records as numbered part files
in a folder named after the output file without its extension.</li>
<li><b>Drop data during GPS outages:</b> leaves out the data recorded while GPS was lost for at
least the given number of seconds (a whole number from 1 to 86400), from the last good fix
before the gap to the next good fix.</li>
<li><b>Drop data while standing still:</b> leaves out the data of every stop. <i>Settings...</i>
opens <i>Traffic Averaging</i>: if the vehicle has not travelled the distance (in degrees or
minutes of arc, or in metres) in the span of the seconds (1 to 3600), the fixes from the first
one of the stop up to the first good fix after its last are dropped, with all of their data.
A stop begins at a good fix when every following good fix up to some later one lies within
the distance of it and that later one is at least the seconds later; it lasts as long as the
fixes stay within the distance. It applies to the text, map layers, the map, the drive
quality and model calibration.</li>
<li><b>Threshold:</b> writes only the rows whose level (RSSI, the level the row writes) or GPS
speed (Velocity, in whole MPH) meets a comparison. <i>Settings...</i> opens <i>Data Reduction via
Threshold</i>: the field, the comparison and the value. A row with no level never meets an RSSI
threshold, nor a row without a good GPS fix a Velocity one. Drive quality and model
calibration ignore it.</li>
<li><b>Create Header Record</b> and <b>Field Delimiter:</b> whether each scan's data starts with
a line of field titles, and the character between the fields (comma, semicolon, tab, space or
a character of your own, which may not be a digit, '.', '-', '+' or '"'). A field text that
contains the delimiter is written in double quotes.</li>
</ul>

<h3>Step 3 - Choose Output Fields</h3>
<p>Select a field in <i>Available Fields</i> and press <b>&gt;</b> (or double-click it) to add
it to the end of <i>Selected Fields</i>; <b>&gt;&gt;</b> adds all of them. Select a row of
<i>Selected Fields</i> and press <b>&lt;</b> (or double-click it) to remove it; <b>&lt;&lt;</b>
empties the list. The output lines carry the fields in the order of the list; a field may be
listed more than once, and at most 100 rows are kept.</p>

<h3>Step 4 - Convert The Input File</h3>
<p>Press <b>CONVERT</b>. The progress bar at the bottom shows how much of the input has been
read, and a message tells you when the conversion has been completed. While a file is indexed or
converted, the buttons that would start another pass are disabled. <b>CANCEL</b> stops the
conversion after the current record; the files after it are left untouched.</p>
)");
}

}  // namespace varistrum
