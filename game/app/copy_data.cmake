# Copies the game's data folder's content and its icon into DEST, each only
# when it exists.
if(EXISTS ${DATA})
  file(COPY ${DATA}/ DESTINATION ${DEST})
endif()
if(EXISTS ${ICON})
  file(COPY ${ICON} DESTINATION ${DEST})
endif()
