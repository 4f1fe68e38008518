// The main built-in resource table: messages of the engine and captions of its windows.
#include "support/resources.h"

namespace pagewright {

std::string_view BuiltinMainResources() {
  static constexpr std::string_view kTable = R"xml(<?xml version="1.1" encoding="utf-8"?>
<Resources CodePage="1252">
<StrRes Name="1" Text="Print"/>
<StrRes Name="2" Text="Open"/>
<StrRes Name="3" Text="Save"/>
<StrRes Name="4" Text="Export"/>
<StrRes Name="5" Text="Find"/>
<StrRes Name="6" Text="Zoom in"/>
<StrRes Name="7" Text="Zoom out"/>
<StrRes Name="8" Text="Page setup"/>
<StrRes Name="9" Text="Full screen"/>
<StrRes Name="100" Text="Preview"/>
<StrRes Name="101" Text="Print report"/>
<StrRes Name="102" Text="Open prepared report"/>
<StrRes Name="103" Text="Save prepared report"/>
<StrRes Name="104" Text="Export to"/>
<StrRes Name="105" Text="Find text"/>
<StrRes Name="106" Text="Zoom"/>
<StrRes Name="107" Text="Outline"/>
<StrRes Name="108" Text="Thumbnails"/>
<StrRes Name="109" Text="Edit page"/>
<StrRes Name="110" Text="First page"/>
<StrRes Name="111" Text="Previous page"/>
<StrRes Name="112" Text="Next page"/>
<StrRes Name="113" Text="Last page"/>
<StrRes Name="114" Text="Page number"/>
<StrRes Name="115" Text="Close preview"/>
<StrRes Name="116" Text="Page width"/>
<StrRes Name="117" Text="Whole page"/>
<StrRes Name="118" Text="100%"/>
<StrRes Name="119" Text="Two pages"/>
<StrRes Name="120" Text="Design report"/>
<StrRes Name="121" Text="Send by e-mail"/>
<StrRes Name="122" Text="Properties"/>
<StrRes Name="123" Text="Show outline"/>
<StrRes Name="124" Text="Show thumbnails"/>
<StrRes Name="125" Text="Delete page"/>
<StrRes Name="126" Text="Add page"/>
<StrRes Name="127" Text="Copy page"/>
<StrRes Name="128" Text="Paste page"/>
<StrRes Name="129" Text="Page properties"/>
<StrRes Name="130" Text="Go to page"/>
<StrRes Name="131" Text="Find next"/>
<StrRes Name="132" Text="Clear"/>
<StrRes Name="133" Text="Refresh"/>
<StrRes Name="134" Text="Save as"/>
<StrRes Name="135" Text="Prepared reports"/>
<StrRes Name="136" Text="All files"/>
<StrRes Name="137" Text="Pages"/>
<StrRes Name="138" Text="Page"/>
<StrRes Name="139" Text="Page %d of %d"/>
<StrRes Name="140" Text="Ready"/>
<StrRes Name="141" Text="Cancel"/>
<StrRes Name="142" Text="Help"/>
<StrRes Name="149" Text="Fit page"/>
<StrRes Name="150" Text="Stretch"/>
<StrRes Name="151" Text="Center"/>
<StrRes Name="152" Text="Keep aspect ratio"/>
<StrRes Name="153" Text="Auto size"/>
<StrRes Name="154" Text="Default size"/>
<StrRes Name="160" Text="Folder"/>
<StrRes Name="161" Text="Path"/>
<StrRes Name="162" Text="Name"/>
<StrRes Name="163" Text="File"/>
<StrRes Name="200" Text="Print"/>
<StrRes Name="201" Text="Printer"/>
<StrRes Name="202" Text="Properties"/>
<StrRes Name="203" Text="Name"/>
<StrRes Name="204" Text="Copies"/>
<StrRes Name="205" Text="Number of copies"/>
<StrRes Name="206" Text="Collate"/>
<StrRes Name="207" Text="Page range"/>
<StrRes Name="208" Text="All"/>
<StrRes Name="209" Text="Current page"/>
<StrRes Name="210" Text="Pages:"/>
<StrRes Name="211" Text="Enter page numbers and/or page ranges, separated by commas. For example: 1,3,5-12"/>
<StrRes Name="212" Text="Print mode"/>
<StrRes Name="213" Text="Print on sheet"/>
<StrRes Name="214" Text="Print to file"/>
<StrRes Name="216" Text="Duplex"/>
<StrRes Name="300" Text="Find text"/>
<StrRes Name="301" Text="Text to find"/>
<StrRes Name="302" Text="Search options"/>
<StrRes Name="303" Text="Replace with"/>
<StrRes Name="304" Text="Search from the beginning"/>
<StrRes Name="305" Text="Case sensitive"/>
<StrRes Name="306" Text="Whole words only"/>
<StrRes Name="307" Text="Search backwards"/>
<StrRes Name="308" Text="Search up"/>
<StrRes Name="309" Text="Search down"/>
<StrRes Name="310" Text="Find"/>
<StrRes Name="311" Text="Replace"/>
<StrRes Name="312" Text="Replace all"/>
<StrRes Name="313" Text="Search in"/>
<StrRes Name="314" Text="Current page"/>
<StrRes Name="315" Text="All pages"/>
<StrRes Name="316" Text="Text not found"/>
<StrRes Name="320" Text="Found %d times"/>
<StrRes Name="321" Text="Search finished"/>
<StrRes Name="400" Text="Page setup"/>
<StrRes Name="401" Text="Width"/>
<StrRes Name="402" Text="Height"/>
<StrRes Name="403" Text="Size"/>
<StrRes Name="404" Text="Orientation"/>
<StrRes Name="405" Text="Left"/>
<StrRes Name="406" Text="Top"/>
<StrRes Name="407" Text="Right"/>
<StrRes Name="408" Text="Bottom"/>
<StrRes Name="409" Text="Margins"/>
<StrRes Name="410" Text="Portrait"/>
<StrRes Name="411" Text="Landscape"/>
<StrRes Name="412" Text="Other"/>
<StrRes Name="413" Text="Apply to the current page"/>
<StrRes Name="414" Text="Apply to all pages"/>
<StrRes Name="500" Text="Units"/>
<StrRes Name="501" Text="Millimeters"/>
<StrRes Name="502" Text="Inches"/>
<StrRes Name="503" Text="Pixels"/>
<StrRes Name="504" Text="Characters"/>
<StrRes Name="505" Text="Paper source"/>
<StrRes Name="506" Text="First page"/>
<StrRes Name="507" Text="Other pages"/>
<StrRes Name="508" Text="Columns"/>
<StrRes Name="509" Text="Number"/>
<StrRes Name="510" Text="Column width"/>
<StrRes Name="520" Text="Column positions"/>
<StrRes Name="600" Text="Password"/>
<StrRes Name="601" Text="Enter the password"/>
<StrRes Name="701" Text="Collapse all"/>
<StrRes Name="702" Text="Expand all"/>
<StrRes Name="zmPageWidth" Text="Page width"/>
<StrRes Name="zmWholePage" Text="Whole page"/>
<StrRes Name="ppAll" Text="All"/>
<StrRes Name="ppOdd" Text="Odd pages"/>
<StrRes Name="ppEven" Text="Even pages"/>
<StrRes Name="pgDefault" Text="Default"/>
<StrRes Name="pmDefault" Text="Default"/>
<StrRes Name="pmSplit" Text="Split big pages"/>
<StrRes Name="pmJoin" Text="Join small pages"/>
<StrRes Name="pmScale" Text="Scale"/>
<StrRes Name="poDirect" Text="!Direct (1-9)"/>
<StrRes Name="poReverse" Text="Reverse (9-1)"/>
<StrRes Name="mbConfirm" Text="Confirm"/>
<StrRes Name="mbError" Text="Error"/>
<StrRes Name="mbInfo" Text="Information"/>
<StrRes Name="xrCantFindClass" Text="Cannot find class"/>
<StrRes Name="prVirtual" Text="Virtual"/>
<StrRes Name="prDefault" Text="Default"/>
<StrRes Name="prCustom" Text="Custom"/>
<StrRes Name="enUnconnHeader" Text="Unconnected header/footer"/>
<StrRes Name="enUnconnGroup" Text="No data band for the group"/>
<StrRes Name="enUnconnGFooter" Text="No group header for"/>
<StrRes Name="enBandPos" Text="Incorrect band position:"/>
<StrRes Name="dbNotConn" Text="DataSet %s is not connected to data"/>
<StrRes Name="dbFldNotFound" Text="Field not found:"/>
<StrRes Name="clDSNotIncl" Text="(dataset is not included in Report.DataSets)"/>
<StrRes Name="clUnknownVar" Text="Unknown variable or datafield:"/>
<StrRes Name="clScrError" Text="Script error at %s: %s"/>
<StrRes Name="clDSNotExist" Text="Dataset &#38;#34;%s&#38;#34; does not exist"/>
<StrRes Name="clErrors" Text="The following error(s) have occured:"/>
<StrRes Name="clExprError" Text="Error in expression"/>
<StrRes Name="clPWPfiles" Text="Prepared report (*.pwp)|*.pwp"/>
<StrRes Name="clComprPreparedRepFilter" Text="Compressed prepared report (*.pwp)|*.pwp"/>
<StrRes Name="clSaving" Text="Saving file..."/>
<StrRes Name="clCancel" Text="Cancel"/>
<StrRes Name="clClose" Text="Close"/>
<StrRes Name="clPrinting" Text="Printing page"/>
<StrRes Name="clLoading" Text="Loading file..."/>
<StrRes Name="clPageOf" Text="Page %d of %d"/>
<StrRes Name="clOf" Text="of"/>
<StrRes Name="clFirstPass" Text="First pass: page "/>
<StrRes Name="clNoPrinters" Text="No printers installed on your system"/>
<StrRes Name="clDecompressError" Text="Stream decompress error"/>
<StrRes Name="crFillMx" Text="Filling the cross-tab..."/>
<StrRes Name="crBuildMx" Text="Building the cross-tab..."/>
<StrRes Name="prRunningFirst" Text="First pass: page %d"/>
<StrRes Name="prRunning" Text="Preparing page %d"/>
<StrRes Name="prPrinting" Text="Printing page %d"/>
<StrRes Name="prExporting" Text="Exporting page %d"/>
<StrRes Name="uCm" Text="cm"/>
<StrRes Name="uInch" Text="in"/>
<StrRes Name="uPix" Text="px"/>
<StrRes Name="uChar" Text="chr"/>
<StrRes Name="dupDefault" Text="Default"/>
<StrRes Name="dupVert" Text="Vertical"/>
<StrRes Name="dupHorz" Text="Horizontal"/>
<StrRes Name="dupSimpl" Text="Simplex"/>
<StrRes Name="SLangNotFound" Text="Language '%s' not found"/>
<StrRes Name="SInvalidLanguage" Text="Invalid language definition"/>
<StrRes Name="SIdRedeclared" Text="Identifier redeclared: "/>
<StrRes Name="SUnknownType" Text="Unknown type: "/>
<StrRes Name="SIncompatibleTypes" Text="Incompatible types"/>
<StrRes Name="SIdUndeclared" Text="Undeclared identifier: "/>
<StrRes Name="SClassRequired" Text="Class type required"/>
<StrRes Name="SIndexRequired" Text="Index required"/>
<StrRes Name="SStringError" Text="Strings do not have properties or methods"/>
<StrRes Name="SClassError" Text="Class %s does not have a default property"/>
<StrRes Name="SArrayRequired" Text="Array type required"/>
<StrRes Name="SVarRequired" Text="Variable required"/>
<StrRes Name="SNotEnoughParams" Text="Not enough actual parameters"/>
<StrRes Name="STooManyParams" Text="Too many actual parameters"/>
<StrRes Name="SLeftCantAssigned" Text="Left side cannot be assigned to"/>
<StrRes Name="SForError" Text="For loop variable must be numeric variable"/>
<StrRes Name="SEventError" Text="Event handler must be a procedure"/>
<StrRes Name="clStrNotFound" Text="Text not found"/>
<StrRes Name="clCantRen" Text="Could not rename %s, it was introduced in the ancestor report"/>
<StrRes Name="rave0" Text="Import a report file"/>
<StrRes Name="rave1" Text="The report file could not be imported"/>
<StrRes Name="rave2" Text="Unknown object type:"/>
<StrRes Name="rave3" Text="Property not supported:"/>
<StrRes Name="rave4" Text="Import finished"/>
<StrRes Name="clCirRefNotAllow" Text="Circular child reference is not allowed"/>
<StrRes Name="clDupName" Text="Duplicate name"/>
<StrRes Name="clErrorInExp" Text="Error in Calc expression:"/>
<StrRes Name="expMtm" Text="Millimeters"/>
<StrRes Name="erInvalidImg" Text="Invalid image format"/>
<StrRes Name="ReportTitle" Text="ReportTitle"/>
<StrRes Name="ReportSummary" Text="ReportSummary"/>
<StrRes Name="PageHeader" Text="PageHeader"/>
<StrRes Name="PageFooter" Text="PageFooter"/>
<StrRes Name="Header" Text="Header"/>
<StrRes Name="Footer" Text="Footer"/>
<StrRes Name="MasterData" Text="MasterData"/>
<StrRes Name="DetailData" Text="DetailData"/>
<StrRes Name="SubdetailData" Text="SubdetailData"/>
<StrRes Name="Data4" Text="Data4"/>
<StrRes Name="Data5" Text="Data5"/>
<StrRes Name="Data6" Text="Data6"/>
<StrRes Name="GroupHeader" Text="GroupHeader"/>
<StrRes Name="GroupFooter" Text="GroupFooter"/>
<StrRes Name="Child" Text="Child"/>
<StrRes Name="ColumnHeader" Text="ColumnHeader"/>
<StrRes Name="ColumnFooter" Text="ColumnFooter"/>
<StrRes Name="Overlay" Text="Overlay"/>
<StrRes Name="2_5_interleaved" Text="2_5_interleaved"/>
<StrRes Name="2_5_industrial" Text="2_5_industrial"/>
<StrRes Name="2_5_matrix" Text="2_5_matrix"/>
<StrRes Name="Code39" Text="Code39"/>
<StrRes Name="Code39 Extended" Text="Code39 Extended"/>
<StrRes Name="Code128A" Text="Code128A"/>
<StrRes Name="Code128B" Text="Code128B"/>
<StrRes Name="Code128C" Text="Code128C"/>
<StrRes Name="Code93" Text="Code93"/>
<StrRes Name="Code93 Extended" Text="Code93 Extended"/>
<StrRes Name="MSI" Text="MSI"/>
<StrRes Name="PostNet" Text="PostNet"/>
<StrRes Name="Codebar" Text="Codebar"/>
<StrRes Name="EAN8" Text="EAN8"/>
<StrRes Name="EAN13" Text="EAN13"/>
<StrRes Name="UPC_A" Text="UPC_A"/>
<StrRes Name="UPC_E0" Text="UPC_E0"/>
<StrRes Name="UPC_E1" Text="UPC_E1"/>
<StrRes Name="UPC Supp2" Text="UPC Supp2"/>
<StrRes Name="UPC Supp5" Text="UPC Supp5"/>
<StrRes Name="EAN128A" Text="EAN128A"/>
<StrRes Name="EAN128B" Text="EAN128B"/>
<StrRes Name="EAN128C" Text="EAN128C"/>
<StrRes Name="rpEditRep" Text="Edit report..."/>
<StrRes Name="rpEditAlias" Text="Edit aliases..."/>
</Resources>
)xml";
  return kTable;
}

}  // namespace pagewright
