import com.korvanel.datacollection.rfid.VOLNEDAProxy;

/**
 * Builds a WriteTags request, writes it to one tag and reads the fields
 * back to check them.
 */
public final class WriteReadBack {
    private WriteReadBack() {
    }

    /** The value of the Field element named name in a ReadTags document. */
    static String fieldValue(String document, String name) {
        int[] doc = new int[1];
        String result = null;
        VOLNEDAProxy.XMLreader_OpenDoc(doc, document);
        if (VOLNEDAProxy.XMLreader_GetElement(doc[0]) == 2
                && VOLNEDAProxy.XMLreader_FindChildElement(doc[0], "Tag")) {
            VOLNEDAProxy.XMLreader_StepIntoElement(doc[0]);
            while (result == null && VOLNEDAProxy.XMLreader_FindChildElement(doc[0], "Field")) {
                if (Example.childAttribute(doc[0], "Name").equals(name)) {
                    String[] value = new String[1];
                    VOLNEDAProxy.XMLreader_GetChildData(doc[0], value, 520);
                    result = value[0].trim();
                }
            }
        }
        VOLNEDAProxy.XMLreader_CloseDoc(doc[0]);
        return result;
    }

    public static void main(String[] args) {
        int handle = Example.startAndOpen(args);
        if (handle == 0) {
            System.exit(1);
        }
        String tag = args.length > 2 ? args[2] : "0123456789ABCDEF";

        int[] request = new int[1];
        VOLNEDAProxy.XMLreader_OpenDoc(request, null);
        VOLNEDAProxy.XMLreader_WriteXMLHeader(request[0]);
        VOLNEDAProxy.XMLreader_WriteXMLAddTag(request[0], tag);
        VOLNEDAProxy.XMLreader_WriteXMLAddSWTTFieldInfo(request[0], 2, "8"); // template field 2: Count
        VOLNEDAProxy.XMLreader_WriteXMLAddMEMFieldInfo(request[0], 48, 8, 's', "JAVA");
        String[] body = new String[1];
        VOLNEDAProxy.GetCurrentDoc(request[0], body, VOLNEDAProxy.GetCurrentDocLen(request[0]) + 1);
        VOLNEDAProxy.XMLreader_CloseDoc(request[0]);
        System.out.print(body[0]);
        int rc = VOLNEDAProxy.VOLNEDA_Write(handle, body[0]);
        System.out.println("write: " + rc);

        boolean ok = false;
        if (rc == 0) {
            String document = Example.command(handle, "read field(2) mem(note,48,8,s) where tagid=" + tag);
            if (document != null) {
                String count = fieldValue(document, "Count");
                String note = fieldValue(document, "note");
                System.out.println("read back: Count=" + count + " note=" + note);
                ok = "8".equals(count) && "JAVA".equals(note);
            }
        }
        Example.closeAndStop(handle);
        System.out.println(ok ? "the tag holds what was written" : "the tag does not hold what was written");
        System.exit(ok ? 0 : 1);
    }
}
