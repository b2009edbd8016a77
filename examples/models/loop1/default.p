#Formatver	3
#Hclass	loop1
#DParam 
#DIncond
	u	0
