// The export built-in resource table: names and captions of the export filters.
#include "support/resources.h"

namespace pagewright {

std::string_view BuiltinExportResources() {
  static constexpr std::string_view kTable = R"xml(<?xml version="1.1" encoding="utf-8"?>
<Resources CodePage="1252">
<StrRes Name="8000" Text="Export"/>
<StrRes Name="8001" Text="Page range"/>
<StrRes Name="8002" Text="All"/>
<StrRes Name="8003" Text="Current page"/>
<StrRes Name="8004" Text="Pages:"/>
<StrRes Name="8005" Text="Enter page numbers and/or page ranges, separated by commas. For example: 1,3,5-12"/>
<StrRes Name="8006" Text="Open after export"/>
<StrRes Name="8007" Text="Export settings"/>
<StrRes Name="8008" Text="Save to"/>
<StrRes Name="8009" Text="OK"/>
<StrRes Name="8010" Text="Cancel"/>
<StrRes Name="8100" Text="Export to RTF"/>
<StrRes Name="8101" Text="Pictures"/>
<StrRes Name="8102" Text="Page breaks"/>
<StrRes Name="8103" Text="Exact layout"/>
<StrRes Name="8104" Text="Rich Text file (*.rtf)|*.rtf"/>
<StrRes Name="8105" Text=".rtf"/>
<StrRes Name="8106" Text="Continuous"/>
<StrRes Name="8200" Text="Export to HTML"/>
<StrRes Name="8201" Text="Styles"/>
<StrRes Name="8202" Text="Pictures"/>
<StrRes Name="8203" Text="All in one folder"/>
<StrRes Name="8204" Text="Fixed width"/>
<StrRes Name="8205" Text="Page navigator"/>
<StrRes Name="8206" Text="Multiple pages"/>
<StrRes Name="8207" Text="Browser compatibility"/>
<StrRes Name="8208" Text="Background"/>
<StrRes Name="8209" Text="HTML file (*.html)|*.html"/>
<StrRes Name="8210" Text=".html"/>
<StrRes Name="8211" Text="Picture format"/>
<StrRes Name="8300" Text="Export to spreadsheet"/>
<StrRes Name="8301" Text="Styles"/>
<StrRes Name="8302" Text="Pictures"/>
<StrRes Name="8303" Text="Merge cells"/>
<StrRes Name="8304" Text="Fast export"/>
<StrRes Name="8305" Text="Exact layout"/>
<StrRes Name="8306" Text="As text"/>
<StrRes Name="8307" Text="Background"/>
<StrRes Name="8308" Text="Page breaks"/>
<StrRes Name="8309" Text="Data only"/>
<StrRes Name="8310" Text="Grid lines"/>
<StrRes Name="8311" Text="Print optimized"/>
<StrRes Name="8312" Text="Split pages"/>
<StrRes Name="8313" Text="Sheet per page"/>
<StrRes Name="8314" Text="Empty lines"/>
<StrRes Name="8315" Text="Page header and footer"/>
<StrRes Name="8316" Text="Column width"/>
<StrRes Name="8317" Text="Row height"/>
<StrRes Name="8318" Text="Spreadsheet file (*.xls)|*.xls"/>
<StrRes Name="8319" Text=".xls"/>
<StrRes Name="8320" Text="Open in the spreadsheet program"/>
<StrRes Name="8321" Text="Formulas"/>
<StrRes Name="8322" Text="Number formats"/>
<StrRes Name="8323" Text="Autosize columns"/>
<StrRes Name="8324" Text="Freeze the header"/>
<StrRes Name="8325" Text="Sheet name"/>
<StrRes Name="8326" Text="Author"/>
<StrRes Name="8400" Text="Export to image"/>
<StrRes Name="8401" Text="JPEG quality"/>
<StrRes Name="8402" Text="Resolution (dpi)"/>
<StrRes Name="8403" Text="Separate files"/>
<StrRes Name="8404" Text="Crop pages"/>
<StrRes Name="8405" Text="Monochrome"/>
<StrRes Name="8406" Text="Image settings"/>
<StrRes Name="8407" Text="Image width"/>
<StrRes Name="8408" Text="Image height"/>
<StrRes Name="8409" Text="Background"/>
<StrRes Name="8410" Text="Color depth"/>
<StrRes Name="8411" Text="Dithering"/>
<StrRes Name="8500" Text="Export to text"/>
<StrRes Name="8501" Text="Preview on"/>
<StrRes Name="8502" Text="Page breaks"/>
<StrRes Name="8503" Text="OEM code page"/>
<StrRes Name="8504" Text="Empty lines"/>
<StrRes Name="8505" Text="Text file (*.txt)|*.txt"/>
<StrRes Name="8600" Text="Export to CSV"/>
<StrRes Name="8601" Text="Separator"/>
<StrRes Name="8602" Text="CSV file (*.csv)|*.csv"/>
<StrRes Name="8603" Text=".csv"/>
<StrRes Name="8604" Text="OEM code page"/>
<StrRes Name="8605" Text="Quote texts"/>
<StrRes Name="8606" Text="Header line"/>
<StrRes Name="8700" Text="Export to PDF"/>
<StrRes Name="8701" Text="Compressed"/>
<StrRes Name="8702" Text="Embedded fonts"/>
<StrRes Name="8703" Text="Print optimized"/>
<StrRes Name="8704" Text="Outline"/>
<StrRes Name="8705" Text="Background"/>
<StrRes Name="8706" Text="Document information"/>
<StrRes Name="8707" Text="Adobe PDF file (*.pdf)|*.pdf"/>
<StrRes Name="8708" Text=".pdf"/>
<StrRes Name="8709" Text="Title"/>
<StrRes Name="8710" Text="Author"/>
<StrRes Name="8711" Text="Subject"/>
<StrRes Name="8712" Text="Keywords"/>
<StrRes Name="8713" Text="Creator"/>
<StrRes Name="8714" Text="Producer"/>
<StrRes Name="8715" Text="Security"/>
<StrRes Name="8716" Text="Owner password"/>
<StrRes Name="8717" Text="User password"/>
<StrRes Name="8718" Text="Print the document"/>
<StrRes Name="8719" Text="Modify the document"/>
<StrRes Name="8720" Text="Copy text and graphics"/>
<StrRes Name="8721" Text="Add or modify annotations"/>
<StrRes Name="8722" Text="Permissions"/>
<StrRes Name="8723" Text="Viewer preferences"/>
<StrRes Name="8724" Text="Hide toolbar"/>
<StrRes Name="8725" Text="Hide menu bar"/>
<StrRes Name="8726" Text="Hide window user interface"/>
<StrRes Name="8727" Text="Fit window"/>
<StrRes Name="8728" Text="Center window"/>
<StrRes Name="8729" Text="Print scaling"/>
<StrRes Name="8800" Text="Export to Open Document"/>
<StrRes Name="8801" Text="Open Document file"/>
<StrRes Name="8802" Text="Open in the office program"/>
<StrRes Name="8850" Text="Export to e-mail"/>
<StrRes Name="8851" Text="Send"/>
<StrRes Name="8852" Text="Sending..."/>
<StrRes Name="8853" Text="Message sent"/>
<StrRes Name="8900" Text="Send by e-mail"/>
<StrRes Name="8901" Text="E-mail"/>
<StrRes Name="8902" Text="Account"/>
<StrRes Name="8903" Text="Connection"/>
<StrRes Name="8904" Text="Address"/>
<StrRes Name="8905" Text="Attachment"/>
<StrRes Name="8906" Text="Format"/>
<StrRes Name="8907" Text="From address"/>
<StrRes Name="8908" Text="From name"/>
<StrRes Name="8909" Text="Host"/>
<StrRes Name="8910" Text="Login"/>
<StrRes Name="8911" Text="Mail"/>
<StrRes Name="8912" Text="Message"/>
<StrRes Name="8913" Text="Text"/>
<StrRes Name="8914" Text="Organization"/>
<StrRes Name="8915" Text="Password"/>
<StrRes Name="8916" Text="Port"/>
<StrRes Name="8917" Text="Remember properties"/>
<StrRes Name="8918" Text="Required fields are not filled"/>
<StrRes Name="8919" Text="Advanced export settings"/>
<StrRes Name="8920" Text="Signature"/>
<StrRes Name="8921" Text="Build"/>
<StrRes Name="8922" Text="Subject"/>
<StrRes Name="8923" Text="Best regards"/>
<StrRes Name="8924" Text="Send e-mail to"/>
<StrRes Name="8925" Text="Use MAPI"/>
<StrRes Name="8926" Text="Timeout (seconds)"/>
<StrRes Name="8950" Text="Continuous"/>
<StrRes Name="8951" Text="Page header and footer"/>
<StrRes Name="8952" Text="Text"/>
<StrRes Name="8953" Text="Header and footer"/>
<StrRes Name="8954" Text="None"/>
<StrRes Name="8960" Text="Export to XML"/>
<StrRes Name="8961" Text="Export to SVG"/>
<StrRes Name="8962" Text="Export to XPS"/>
<StrRes Name="8963" Text="Export to DOCX"/>
<StrRes Name="8964" Text="Export to XLSX"/>
<StrRes Name="8965" Text="Export to PPTX"/>
<StrRes Name="8966" Text="Export to DBF"/>
<StrRes Name="8967" Text="Export to ODS"/>
<StrRes Name="8968" Text="Export to ODT"/>
<StrRes Name="8969" Text="Export to GIF"/>
<StrRes Name="8970" Text="Export to PNG"/>
<StrRes Name="8971" Text="Export to TIFF"/>
<StrRes Name="8972" Text="Export to BMP"/>
<StrRes Name="8973" Text="Export to EMF"/>
<StrRes Name="8974" Text="Export to JPEG"/>
<StrRes Name="8975" Text="Export to text"/>
<StrRes Name="8976" Text="Export to CSV"/>
<StrRes Name="8977" Text="Export to HTML"/>
<StrRes Name="8978" Text="Export to RTF"/>
<StrRes Name="8979" Text="Export to PDF"/>
<StrRes Name="8980" Text="Single file"/>
<StrRes Name="8981" Text="Multiple files"/>
<StrRes Name="8982" Text="File name"/>
<StrRes Name="8983" Text="Folder"/>
<StrRes Name="8984" Text="Overwrite existing files"/>
<StrRes Name="8985" Text="Zip the result"/>
<StrRes Name="8986" Text="Encoding"/>
<StrRes Name="8987" Text="Delimiter"/>
<StrRes Name="8988" Text="Line break"/>
<StrRes Name="8989" Text="Include headers"/>
<StrRes Name="9000" Text="Rows"/>
<StrRes Name="9001" Text="Columns"/>
<StrRes Name="9002" Text="Cells"/>
<StrRes Name="9003" Text="Images"/>
<StrRes Name="9004" Text="Styles"/>
<StrRes Name="9101" Text="Digital signature"/>
<StrRes Name="9102" Text="Certificate"/>
<StrRes Name="9103" Text="Certificate password"/>
<StrRes Name="9104" Text="Signature reason"/>
<StrRes Name="9105" Text="Signature location"/>
<StrRes Name="9106" Text="Contact information"/>
<StrRes Name="9107" Text="Sign the document"/>
<StrRes Name="9108" Text="Certificate file (*.pfx)|*.pfx"/>
<StrRes Name="9109" Text="Timestamp server"/>
<StrRes Name="9110" Text="Visible signature"/>
<StrRes Name="9111" Text="Signature appearance"/>
<StrRes Name="9151" Text="PDF/A"/>
<StrRes Name="9152" Text="PDF version"/>
<StrRes Name="9153" Text="Transparency"/>
<StrRes Name="9154" Text="Embed all fonts"/>
<StrRes Name="9155" Text="Font subsets"/>
<StrRes Name="9156" Text="Interactive forms"/>
<StrRes Name="9157" Text="Interactive forms font"/>
<StrRes Name="9158" Text="Image quality"/>
<StrRes Name="9159" Text="Image resolution"/>
<StrRes Name="9160" Text="Save original images"/>
<StrRes Name="9161" Text="Curves for text"/>
<StrRes Name="9162" Text="Pictures in their original format"/>
<StrRes Name="9163" Text="Rich text as pictures"/>
<StrRes Name="9164" Text="Open after export"/>
<StrRes Name="9165" Text="Optimize for printing"/>
<StrRes Name="9166" Text="Background"/>
<StrRes Name="9167" Text="Outline"/>
<StrRes Name="9168" Text="Hyperlinks"/>
<StrRes Name="9169" Text="Tagged PDF"/>
<StrRes Name="9170" Text="Accessibility"/>
<StrRes Name="9171" Text="Language"/>
<StrRes Name="9172" Text="Encryption"/>
<StrRes Name="9173" Text="Encryption method"/>
<StrRes Name="9174" Text="Key length"/>
<StrRes Name="9175" Text="Allow printing"/>
<StrRes Name="9176" Text="Allow changes"/>
<StrRes Name="9177" Text="Allow copying"/>
<StrRes Name="9178" Text="Allow annotations"/>
<StrRes Name="9179" Text="Allow form filling"/>
<StrRes Name="9180" Text="Allow assembling"/>
<StrRes Name="9181" Text="Allow extraction"/>
<StrRes Name="9182" Text="Allow high-quality printing"/>
<StrRes Name="9183" Text="Page layout"/>
<StrRes Name="9184" Text="Page mode"/>
<StrRes Name="9185" Text="Zoom"/>
<StrRes Name="9200" Text="Export to DBF"/>
<StrRes Name="9201" Text="DBF file (*.dbf)|*.dbf"/>
<StrRes Name="9203" Text="Field names"/>
<StrRes Name="9204" Text="Auto field names"/>
<StrRes Name="9205" Text="Manual field names"/>
<StrRes Name="9206" Text="Load field names from file"/>
<StrRes Name="9300" Text="Export to XPS"/>
<StrRes Name="9301" Text="XPS file (*.xps)|*.xps"/>
<StrRes Name="9302" Text=".xps"/>
<StrRes Name="9303" Text="Pictures"/>
<StrRes Name="9304" Text="Page size"/>
<StrRes Name="9305" Text="Print ticket"/>
<StrRes Name="9400" Text="Export to Word"/>
<StrRes Name="9401" Text="Word document (*.docx)|*.docx"/>
<StrRes Name="9402" Text=".docx"/>
<StrRes Name="9403" Text="Tables"/>
<StrRes Name="9404" Text="Paragraphs"/>
<StrRes Name="9405" Text="Page breaks"/>
<StrRes Name="9406" Text="Keep the layout"/>
<StrRes Name="9500" Text="Export to presentation"/>
<StrRes Name="9512" Text="Presentation (*.pptx)|*.pptx"/>
<StrRes Name="9513" Text=".pptx"/>
<StrRes Name="9520" Text="Slides"/>
<StrRes Name="9521" Text="Slide size"/>
<StrRes Name="9522" Text="Pictures"/>
<StrRes Name="9523" Text="Format"/>
<StrRes Name="9530" Text="Spreadsheet (*.xlsx)|*.xlsx"/>
<StrRes Name="9531" Text=".xlsx"/>
<StrRes Name="9532" Text="Merge cells"/>
<StrRes Name="9540" Text="Word wrap"/>
<StrRes Name="10000" Text="Export to SVG"/>
<StrRes Name="10001" Text="SVG file (*.svg)|*.svg"/>
<StrRes Name="10002" Text=".svg"/>
<StrRes Name="10003" Text="Multiple pages"/>
<StrRes Name="10100" Text="Export to archive"/>
<StrRes Name="10101" Text="Zip archive (*.zip)|*.zip"/>
<StrRes Name="10102" Text=".zip"/>
<StrRes Name="DigitalSignature" Text="Digital signature"/>
<StrRes Name="Input" Text="Input"/>
<StrRes Name="SignatureObjectName" Text="Signature object name"/>
<StrRes Name="RTFexport" Text="Rich Text file"/>
<StrRes Name="BMPexport" Text="BMP image"/>
<StrRes Name="JPEGexport" Text="JPEG image"/>
<StrRes Name="TIFFexport" Text="TIFF image"/>
<StrRes Name="PNGexport" Text="PNG image"/>
<StrRes Name="EMFexport" Text="EMF image"/>
<StrRes Name="TextExport" Text="Text (matrix printer)"/>
<StrRes Name="XlsOLEexport" Text="Spreadsheet table (OLE)"/>
<StrRes Name="HTMLexport" Text="HTML file"/>
<StrRes Name="XlsXMLexport" Text="Spreadsheet table (XML)"/>
<StrRes Name="PDFexport" Text="PDF file"/>
<StrRes Name="ProgressWait" Text="Please wait"/>
<StrRes Name="ProgressRows" Text="Setting up rows"/>
<StrRes Name="ProgressColumns" Text="Setting up columns"/>
<StrRes Name="ProgressStyles" Text="Setting up styles"/>
<StrRes Name="ProgressObjects" Text="Exporting objects"/>
<StrRes Name="TIFFexportFilter" Text="TIFF image (*.tif)|*.tif"/>
<StrRes Name="BMPexportFilter" Text="BMP image (*.bmp)|*.bmp"/>
<StrRes Name="JPEGexportFilter" Text="Jpeg image (*.jpg)|*.jpg"/>
<StrRes Name="PNGexportFilter" Text="PNG image (*.png)|*.png"/>
<StrRes Name="EMFexportFilter" Text="EMF image (*.emf)|*.emf"/>
<StrRes Name="HTMLNavFirst" Text="First"/>
<StrRes Name="HTMLNavPrev" Text="Prev"/>
<StrRes Name="HTMLNavNext" Text="Next"/>
<StrRes Name="HTMLNavLast" Text="Last"/>
<StrRes Name="HTMLNavRefresh" Text="Refresh"/>
<StrRes Name="HTMLNavPrint" Text="Print"/>
<StrRes Name="HTMLNavTotal" Text="Total pages"/>
<StrRes Name="SimpleTextExport" Text="Text file"/>
<StrRes Name="CSVExport" Text="CSV file"/>
<StrRes Name="EmailExport" Text="E-mail"/>
<StrRes Name="PagewrightFile" Text="Pagewright report"/>
<StrRes Name="GifexportFilter" Text="GIF image (*.gif)|*.gif"/>
<StrRes Name="GIFexport" Text="GIF image"/>
<StrRes Name="ODSExportFilter" Text="Open Document Spreadsheet (*.ods)|*.ods"/>
<StrRes Name="ODSExport" Text="Open Document Spreadsheet"/>
<StrRes Name="ODTExportFilter" Text="Open Document Text (*.odt)|*.odt"/>
<StrRes Name="ODTExport" Text="Open Document Text"/>
<StrRes Name="BiffCol" Text="Column"/>
<StrRes Name="BiffRow" Text="Row"/>
<StrRes Name="BiffCell" Text="Cell"/>
<StrRes Name="BiffImg" Text="Image"/>
<StrRes Name="xProto" Text="Prototype"/>
<StrRes Name="xBlank" Text="Blank"/>
<StrRes Name="expMailAddr" Text="Address or addresses separated by &#38;#34;;&#38;#34;"/>
<StrRes Name="HTMLExtension" Text=".html"/>
<StrRes Name="SVGDescription" Text="SVG file"/>
<StrRes Name="WrongPassword" Text="Wrong password"/>
<StrRes Name="UnknownHashAlgorithm" Text="Unknown hash algorithm"/>
<StrRes Name="UnknownChipherAlgorithm" Text="Unknown cipher algorithm"/>
<StrRes Name="InvalidASN1File" Text="Invalid ASN.1 file"/>
<StrRes Name="CantParseCertificate" Text="Cannot parse the certificate"/>
<StrRes Name="PrepareSignError" Text="Cannot prepare the signature"/>
<StrRes Name="SignDigestError" Text="Cannot sign the digest"/>
<StrRes Name="CertificateNotFound" Text="Certificate not found"/>
</Resources>
)xml";
  return kTable;
}

}  // namespace pagewright
