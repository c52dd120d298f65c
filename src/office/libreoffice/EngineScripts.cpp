#include "EngineScripts.h"

#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/script/provider/XScriptProviderFactory.hpp>

namespace unooffice {

using namespace css;
using rtl::OUString;

namespace {

constexpr const char* kLibrary = "YanheEngine";
constexpr const char* kModule = "Writer";

} // namespace

// The same steps as the engine's own calls (UnoText.cpp, WriterModel.cpp), in
// Basic. A function gives its result, or on any failure a text starting with
// "Basic error", which the caller turns into a failure of the document.
const char* writerModuleSource()
{
    return R"BASIC(Option Explicit

Function Failure() As String
	Failure = "Basic error " & Err & " at line " & Erl & ": " & Error$
End Function

Function Descriptor(oDoc As Object, sText As String) As Object
	Dim oDesc As Object
	oDesc = oDoc.createSearchDescriptor()
	oDesc.SearchString = sText
	oDesc.SearchCaseSensitive = False
	oDesc.SearchRegularExpression = False
	Descriptor = oDesc
End Function

' Whether oRange lies in oStory: comparing tells, a range elsewhere is refused.
Function Within(oStory As Object, oRange As Object) As Boolean
	On Error GoTo Outside
	oStory.compareRegionStarts(oStory.getStart(), oRange)
	Within = True
	Exit Function
Outside:
	Within = False
End Function

' goRight takes at most a 16-bit count.
Sub Advance(oCursor As Object, ByVal nSteps As Long, bSelect As Boolean)
	Dim nStep As Long
	Do While nSteps > 0
		nStep = nSteps
		If nStep > 32767 Then nStep = 32767
		oCursor.goRight(nStep, bSelect)
		nSteps = nSteps - nStep
	Loop
End Sub

' The new text goes in after the first old character, then the old characters
' on either side of it go: whatever begins or ends with the old text (a
' bookmark, a hyperlink, a format) surrounds the new text afterwards. In a
' document that records changes the deleted text stays in place: there the new
' text goes in right after the old, which is then deleted whole, one deletion
' and one insertion; a hyperlink on the old text is given to the new one. Gives
' where a search for the next occurrence goes on from.
Function ReplaceAt(oText As Object, oStart As Object, ByVal nLength As Long, sWith As String, bTracked As Boolean) As Object
	Dim oAt As Object, oInsert As Object, oFirst As Object, oRest As Object, oLast As Object, oAdded As Object, oEnd As Object
	Dim sUrl As String, sTarget As String, sName As String
	oAt = oText.createTextCursorByRange(oStart.getStart())
	If Len(sWith) = 0 Or nLength <= 0 Then
		Call Advance(oAt, nLength, True)
		oAt.setString(sWith)
		ReplaceAt = oAt.getEnd()
		Exit Function
	End If
	If bTracked Then
		oLast = oText.createTextCursorByRange(oAt)
		Call Advance(oLast, nLength - 1, False)
		oLast.goRight(1, True)
		sUrl = oLast.HyperLinkURL
		sTarget = oLast.HyperLinkTarget
		sName = oLast.HyperLinkName
		oInsert = oText.createTextCursorByRange(oLast.getEnd())
		oText.insertString(oInsert, sWith, False)
		oAdded = oText.createTextCursorByRange(oAt)
		Call Advance(oAdded, nLength, False)
		Call Advance(oAdded, Len(sWith), True)
		If sUrl <> "" And oAdded.HyperLinkURL <> sUrl Then
			oAdded.HyperLinkURL = sUrl
			oAdded.HyperLinkTarget = sTarget
			oAdded.HyperLinkName = sName
		End If
		oRest = oText.createTextCursorByRange(oAt)
		Call Advance(oRest, nLength, True)
		oRest.setString("")
		oEnd = oText.createTextCursorByRange(oAt)
		Call Advance(oEnd, nLength + Len(sWith), False)
		ReplaceAt = oEnd.getEnd()
		Exit Function
	End If
	oInsert = oText.createTextCursorByRange(oAt)
	oInsert.goRight(1, False)
	oText.insertString(oInsert, sWith, False)
	oFirst = oText.createTextCursorByRange(oAt)
	oFirst.goRight(1, True)
	oFirst.setString("")
	If nLength > 1 Then
		oRest = oText.createTextCursorByRange(oAt)
		Call Advance(oRest, Len(sWith), False)
		Call Advance(oRest, nLength - 1, True)
		oRest.setString("")
	End If
	ReplaceAt = oStart.getEnd()
End Function

' The text that recorded changes deleted: where each deletion starts and ends.
Sub CollectDeletions(oDoc As Object, cStarts As Object, cEnds As Object)
	Dim oEach As Object, oRedline As Object
	If Not HasUnoInterfaces(oDoc, "com.sun.star.document.XRedlinesSupplier") Then Exit Sub
	oEach = oDoc.getRedlines().createEnumeration()
	Do While oEach.hasMoreElements()
		oRedline = oEach.nextElement()
		If oRedline.getPropertyValue("RedlineType") = "Delete" Then
			cStarts.Add(oRedline.getPropertyValue("RedlineStart"))
			cEnds.Add(oRedline.getPropertyValue("RedlineEnd"))
		End If
	Loop
End Sub

' Whether oRange shares text with the span between oStart and oEnd (in either
' order: a .doc's deletions often end first); a span in another text never does.
Function Overlaps(oRange As Object, oStart As Object, oEnd As Object) As Boolean
	On Error GoTo Apart
	Dim oCompare As Object
	oCompare = oRange.getText()
	If oCompare.compareRegionStarts(oStart, oEnd) = -1 Then
		Overlaps = (oCompare.compareRegionStarts(oRange.getStart(), oStart) = 1 And oCompare.compareRegionStarts(oEnd, oRange.getEnd()) = 1)
	Else
		Overlaps = (oCompare.compareRegionStarts(oRange.getStart(), oEnd) = 1 And oCompare.compareRegionStarts(oStart, oRange.getEnd()) = 1)
	End If
	Exit Function
Apart:
	Overlaps = False
End Function

' Whether oRange lies in text that a recorded change deleted.
Function InDeletion(oRange As Object, cStarts As Object, cEnds As Object) As Boolean
	Dim i As Long
	InDeletion = False
	For i = 1 To cStarts.Count
		If Overlaps(oRange, cStarts.Item(i), cEnds.Item(i)) Then
			InDeletion = True
			Exit Function
		End If
	Next i
End Function

' Marks that take no place in the text: a run goes on across them.
Function TakesNoPlace(sType As String) As Boolean
	TakesNoPlace = (sType = "Bookmark" Or sType = "ReferenceMark" Or sType = "Redline" Or sType = "SoftPageBreak")
End Function

' The runs of plain text of a paragraph: where each starts, and its text.
' Marks that take no place in the text (a bookmark's ends, a change mark) lie
' within runs; anything else (a field, a footnote anchor, a frame anchored as
' a character) ends one. Text that a recorded change deleted is no part of any
' run; bDeleted says whether the paragraph starts inside such a deletion, and
' then whether the next one does.
Sub ParagraphRuns(oPara As Object, cStarts As Object, cTexts As Object, bDeleted As Boolean)
	Dim oEach As Object, oPortion As Object, oStart As Object, sText As String, sType As String, bOpen As Boolean
	If Not HasUnoInterfaces(oPara, "com.sun.star.container.XEnumerationAccess") Then
		cStarts.Add(oPara.getStart())
		cTexts.Add(oPara.getString())
		Exit Sub
	End If
	bOpen = False
	sText = ""
	oEach = oPara.createEnumeration()
	Do While oEach.hasMoreElements()
		oPortion = oEach.nextElement()
		If HasUnoInterfaces(oPortion, "com.sun.star.text.XTextRange") Then
			sType = "Text"
			If HasUnoInterfaces(oPortion, "com.sun.star.beans.XPropertySet") Then sType = oPortion.getPropertyValue("TextPortionType")
			If sType = "Redline" Then
				If oPortion.getPropertyValue("RedlineType") = "Delete" And Not oPortion.getPropertyValue("IsCollapsed") Then
					bDeleted = oPortion.getPropertyValue("IsStart")
					If bOpen Then
						cStarts.Add(oStart)
						cTexts.Add(sText)
					End If
					bOpen = False
					sText = ""
				End If
			ElseIf sType = "Text" Then
				If Not bDeleted Then
					If Not bOpen Then
						oStart = oPortion.getStart()
						bOpen = True
					End If
					sText = sText & oPortion.getString()
				End If
			ElseIf Not TakesNoPlace(sType) Then
				If bOpen Then
					cStarts.Add(oStart)
					cTexts.Add(sText)
				End If
				bOpen = False
				sText = ""
			End If
		End If
	Loop
	If bOpen Then
		cStarts.Add(oStart)
		cTexts.Add(sText)
	End If
End Sub

' The runs of every paragraph of a story, those in its tables (and theirs) included, in order.
Sub StoryRuns(oStory As Object, cStarts As Object, cTexts As Object, bDeleted As Boolean)
	Dim oEach As Object, oElement As Object, aNames As Variant, i As Long
	If Not HasUnoInterfaces(oStory, "com.sun.star.container.XEnumerationAccess") Then Exit Sub
	oEach = oStory.createEnumeration()
	Do While oEach.hasMoreElements()
		oElement = oEach.nextElement()
		If HasUnoInterfaces(oElement, "com.sun.star.text.XTextTable") Then
			aNames = oElement.getCellNames()
			For i = LBound(aNames) To UBound(aNames)
				Call StoryRuns(oElement.getCellByName(aNames(i)), cStarts, cTexts, bDeleted)
			Next i
		ElseIf HasUnoInterfaces(oElement, "com.sun.star.text.XTextRange") Then
			Call ParagraphRuns(oElement, cStarts, cTexts, bDeleted)
		End If
	Loop
End Sub

' The texts of a story's runs, in order.
Function RunTexts(oStory As Object) As Variant
	On Error GoTo Failed
	Dim cStarts As New Collection, cTexts As New Collection, aResult() As String, i As Long, bDeleted As Boolean
	bDeleted = False
	Call StoryRuns(oStory, cStarts, cTexts, bDeleted)
	If cTexts.Count = 0 Then
		RunTexts = Array()
		Exit Function
	End If
	ReDim aResult(cTexts.Count - 1) As String
	For i = 1 To cTexts.Count
		aResult(i - 1) = cTexts.Item(i)
	Next i
	RunTexts = aResult
	Exit Function
Failed:
	RunTexts = Failure()
End Function

' Replaces nLength characters at each place aAt names (run, offset, run,
' offset ..., in order, runs counted from 0) by sWith, from the last place to
' the first, so that what comes before stays where it was. The story is as
' RunTexts saw it; bTracked when the document records changes.
Function ReplaceInRuns(oStory As Object, aAt As Variant, nLength As Long, sWith As String, bTracked As Boolean) As Variant
	On Error GoTo Failed
	Dim cStarts As New Collection, cTexts As New Collection, nPlaces As Long, k As Long, nRun As Long
	Dim oHome As Object, oStart As Object, bDeleted As Boolean
	bDeleted = False
	Call StoryRuns(oStory, cStarts, cTexts, bDeleted)
	nPlaces = (UBound(aAt) - LBound(aAt) + 1) \ 2
	For k = nPlaces - 1 To 0 Step -1
		nRun = aAt(LBound(aAt) + 2 * k)
		If nRun < 0 Or nRun >= cStarts.Count Then
			ReplaceInRuns = "Basic error: the story changed since its runs were read"
			Exit Function
		End If
		oHome = cStarts.Item(nRun + 1).getText()
		oStart = oHome.createTextCursorByRange(cStarts.Item(nRun + 1))
		Call Advance(oStart, aAt(LBound(aAt) + 2 * k + 1), False)
		Call ReplaceAt(oHome, oStart, nLength, sWith, bTracked)
	Next k
	ReplaceInRuns = nPlaces
	Exit Function
Failed:
	ReplaceInRuns = Failure()
End Function

' 1 when Writer's search finds sText in oStory outside deleted text, else 0.
Function FindInStory(oDoc As Object, oStory As Object, sText As String) As Variant
	On Error GoTo Failed
	Dim oDesc As Object, oFound As Object, cDelStarts As New Collection, cDelEnds As New Collection
	FindInStory = 0
	Call CollectDeletions(oDoc, cDelStarts, cDelEnds)
	oDesc = Descriptor(oDoc, sText)
	oFound = oDoc.findFirst(oDesc)
	Do While Not IsNull(oFound)
		If Within(oStory, oFound) And Not InDeletion(oFound, cDelStarts, cDelEnds) Then
			FindInStory = 1
			Exit Function
		End If
		oFound = oDoc.findNext(oFound.getEnd(), oDesc)
	Loop
	Exit Function
Failed:
	FindInStory = Failure()
End Function

' Every occurrence of sText in oStory replaced by sWith, one found at a time
' (every range held is moved along at each edit), those in deleted text
' passed by; the search goes on from the end of the new text. The story
' cannot hold more occurrences than its length allows: should an edit ever
' leave the search where it was, the loop ends there.
Function ReplaceInStory(oDoc As Object, oStory As Object, sText As String, sWith As String) As Variant
	On Error GoTo Failed
	Dim oDesc As Object, oFound As Object, oFrom As Object, nLeft As Long, nDone As Long, bTracked As Boolean
	Dim cDelStarts As New Collection, cDelEnds As New Collection
	bTracked = oDoc.RecordChanges
	Call CollectDeletions(oDoc, cDelStarts, cDelEnds)
	oDesc = Descriptor(oDoc, sText)
	nLeft = -1
	nDone = 0
	oFound = oDoc.findFirst(oDesc)
	Do While Not IsNull(oFound)
		oFrom = oFound.getEnd()
		If Within(oStory, oFound) And Not InDeletion(oFound, cDelStarts, cDelEnds) Then
			If nLeft < 0 Then nLeft = Len(oStory.getString()) \ Len(sText) + 1
			If nLeft = 0 Then Exit Do
			nLeft = nLeft - 1
			oFrom = ReplaceAt(oFound.getText(), oFound, Len(oFound.getString()), sWith, bTracked)
			nDone = nDone + 1
		End If
		oFound = oDoc.findNext(oFrom, oDesc)
	Loop
	ReplaceInStory = nDone
	Exit Function
Failed:
	ReplaceInStory = Failure()
End Function
)BASIC";
}

bool EngineScripts::install(const uno::Reference<uno::XComponentContext>& context)
{
    if (m_tried)
        return m_provider.is();
    m_tried = true;
    try {
        const uno::Reference<script::XLibraryContainer> libraries(
            context->getServiceManager()->createInstanceWithContext(
                OUString("com.sun.star.script.ApplicationScriptLibraryContainer"), context),
            uno::UNO_QUERY_THROW);
        const OUString library = OUString::createFromAscii(kLibrary);
        if (libraries->hasByName(library))
            libraries->loadLibrary(library);
        else
            libraries->createLibrary(library);
        const uno::Reference<container::XNameContainer> modules(libraries->getByName(library),
                                                                uno::UNO_QUERY_THROW);
        const OUString module = OUString::createFromAscii(kModule);
        const uno::Any source(OUString::createFromAscii(writerModuleSource()));
        if (modules->hasByName(module))
            modules->replaceByName(module, source);
        else
            modules->insertByName(module, source);
        const uno::Reference<script::provider::XScriptProviderFactory> factory(
            context->getValueByName(
                OUString("/singletons/com.sun.star.script.provider.theMasterScriptProviderFactory")),
            uno::UNO_QUERY_THROW);
        m_provider.set(factory->createScriptProvider(uno::Any(OUString())), uno::UNO_QUERY_THROW);
    } catch (const uno::Exception&) {
        m_provider.clear();
    }
    return m_provider.is();
}

uno::Reference<script::provider::XScript> EngineScripts::script(const char* function)
{
    if (!m_provider.is())
        return {};
    const OUString name = OUString::createFromAscii(function);
    auto found = m_scripts.find(name);
    if (found == m_scripts.end()) {
        const OUString uri = "vnd.sun.star.script:" + OUString::createFromAscii(kLibrary) + "." +
                             OUString::createFromAscii(kModule) + "." + name +
                             "?language=Basic&location=application";
        found = m_scripts.emplace(name, m_provider->getScript(uri)).first;
    }
    return found->second;
}

void EngineScripts::reset()
{
    m_scripts.clear();
    m_provider.clear();
    m_tried = false;
}

} // namespace unooffice
